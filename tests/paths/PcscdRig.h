#pragma once
// The stock pcscd in the foreground with the stock libccid, driving the emulated CCID readers (one of each model) on
// a USB bus of their own: the libccid it loads finds the tests' libusb-1.0 first. Stopped by its pid.

#include <sys/types.h>

#include <optional>
#include <string>

#include "emulators/ccid/ContactlessReader.h"

namespace rigs {

class Pcscd {
 public:
  explicit Pcscd(bool escapeAllowed);  // libccid's ifdDriverOptions 0x0001 (Debian ships 0x0000)
  ~Pcscd();
  Pcscd(const Pcscd&) = delete;
  Pcscd& operator=(const Pcscd&) = delete;

  bool Running() const { return ready_; }
  pid_t Pid() const { return pid_; }
  bool EscapeAllowed() const { return escapeAllowed_; }
  const std::string& Problem() const { return problem_; }
  static std::string ReaderName(emulator::PcscModel model);  // as pcscd lists it

  // The demo card with its faults in the reader (nullopt: the card leaves), once pcscd has seen it.
  bool Place(emulator::PcscModel model, std::optional<emulator::CardFaults> card);
  // Tells the reader a verb of its control socket (emulators/ccid/InPcscd.cpp); true when it answers ok.
  bool Tell(const std::string& verb, emulator::PcscModel model, const std::string& more = "") const;

 private:
  bool escapeAllowed_;
  pid_t pid_ = -1;
  bool ready_ = false;
  std::string problem_, directory_;
};

}  // namespace rigs
