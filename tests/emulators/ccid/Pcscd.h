#pragma once
// The stock pcscd in the foreground with the stock libccid, driving our
// emulated CCID readers (one of each model) on a USB bus of its own: its
// libccid finds our libusb-1.0 first. Started for a test, stopped by its pid.

#include <sys/types.h>

#include <optional>
#include <string>

#include "emulators/ccid/ContactlessReader.h"

namespace emulator {

class Pcscd {
 public:
  // `escapeAllowed`: libccid's ifdDriverOptions 0x0001 (Debian ships 0x0000).
  explicit Pcscd(bool escapeAllowed);
  ~Pcscd();
  Pcscd(const Pcscd&) = delete;
  Pcscd& operator=(const Pcscd&) = delete;

  bool Running() const { return ready_; }
  bool EscapeAllowed() const { return escapeAllowed_; }
  const std::string& Problem() const { return problem_; }  // why it is not running
  static std::string ReaderName(PcscModel model);          // as pcscd lists it

  // Puts the demo card, with its faults, in the reader (nullopt: takes the
  // card away) and waits until pcscd has seen it come or go.
  bool Place(PcscModel model, std::optional<CardFaults> card);
  // The reader keeps a transparent session open, as a killed program leaves it.
  bool LeaveSessionOpen(PcscModel model);

 private:
  bool Tell(const std::string& command) const;
  bool WaitForCard(PcscModel model, bool present) const;

  bool escapeAllowed_;
  pid_t pid_ = -1;
  bool ready_ = false;
  std::string problem_;
  std::string directory_;
};

}  // namespace emulator
