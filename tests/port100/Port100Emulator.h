#pragma once
// An RC-S380 behind the USB seam: answers port100 frames as the chip does
// and plays a simulated card in its field. Faults a test can ask for are
// in Faults; every command it receives is kept for the test to look at.

#include <atomic>
#include <deque>
#include <optional>
#include <vector>

#include "CardImage.h"
#include "SimTransport.h"
#include "UsbLink.h"

namespace emulator {

struct Faults {
  bool badChecksum = false;                 // responses carry a wrong data checksum
  bool shortFrames = false;                 // responses lose their last bytes
  int staleFrames = 0;                      // frames left by a killed session, waiting at open
  bool silent = false;                      // the firmware never answers
  std::optional<int> unplugAfterTransfers;  // the device vanishes after this many transfers
};

class Port100Emulator : public port100::UsbLink {
 public:
  Port100Emulator(std::optional<sim::CardImage> card, Faults faults);
  ~Port100Emulator() override;

  port100::UsbStatus BulkWrite(std::span<const std::uint8_t> data, std::chrono::milliseconds timeout) override;
  port100::UsbStatus BulkRead(felica::Bytes& data, std::chrono::milliseconds timeout) override;

  struct Received {
    std::uint8_t command;
    felica::Bytes parameters;
  };
  const std::vector<Received>& Commands() const { return commands_; }

  static int Alive() { return alive_; }  // emulators not yet destroyed

 private:
  void Answer(std::uint8_t command, std::span<const std::uint8_t> parameters);
  void Respond(std::uint8_t command, felica::Bytes result);
  bool Unplugged();

  std::optional<sim::SimTransport> field_;
  Faults faults_;
  std::deque<felica::Bytes> toHost_;
  std::vector<Received> commands_;
  int transfers_ = 0;
  bool commandTypeSet_ = false;
  bool rfConfigured_ = false;
  static inline std::atomic<int> alive_{0};
};

}  // namespace emulator
