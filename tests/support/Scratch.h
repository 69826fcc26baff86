#pragma once
// A path in a folder of this test process's own, for the files a test
// writes; the folder goes, with everything in it, when the process ends.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

namespace testsupport {

inline std::string Scratch(const std::string& name) {
  struct Folder {
    std::string path = testing::TempDir() + "qavo-test-XXXXXX";
    Folder() { mkdtemp(path.data()); }
    ~Folder() { std::filesystem::remove_all(path); }
  };
  static const Folder folder;
  return folder.path + "/" + name;
}

}  // namespace testsupport
