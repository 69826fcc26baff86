#pragma once
// Our own pcscd in the foreground, with only vsmartcard's virtual reader
// on a free port: started for a test, stopped by its pid.

#include <sys/types.h>
#include <string>

namespace emulator {

class Pcscd {
 public:
  Pcscd();  // starts pcscd and waits until it lists the virtual reader
  ~Pcscd();
  Pcscd(const Pcscd&) = delete;
  Pcscd& operator=(const Pcscd&) = delete;

  bool Running() const { return ready_; }
  const std::string& Problem() const { return problem_; }  // why it is not running
  int CardPort() const { return port_; }
  const std::string& ReaderName() const { return reader_; }

  // Waits (by SCardGetStatusChange, not by sleeping) until the reader has, or has not, a card.
  bool WaitForCard(bool present, int timeoutMs = 5000) const;

 private:
  pid_t pid_ = -1;
  int port_ = 0;
  bool ready_ = false;
  std::string problem_;
  std::string reader_;
  std::string directory_;
};

}  // namespace emulator
