#pragma once
// A card image written to a temporary file, and FELICA_READER pointing at it.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace testcards {

class TempImage {
 public:
  explicit TempImage(const std::string& json) {
    char name[] = "/tmp/qavo-card-XXXXXX";
    const int fd = mkstemp(name);
    if (fd >= 0) close(fd);
    path_ = name;
    std::ofstream(path_) << json;
  }
  ~TempImage() { std::filesystem::remove(path_); }
  TempImage(const TempImage&) = delete;
  TempImage& operator=(const TempImage&) = delete;

  const std::string& Path() const { return path_; }
  void Select() const { setenv("FELICA_READER", ("sim:" + path_).c_str(), 1); }

 private:
  std::string path_;
};

}  // namespace testcards
