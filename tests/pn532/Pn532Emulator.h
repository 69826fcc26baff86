#pragma once
// A PN532 on a pseudo-terminal, as libnfc's pn532_uart driver sees one:
// the host frame protocol (wake-up bytes, ACK frames, normal and extended
// frames, checksums) and the commands libnfc sends, with a simulated card
// in its field. libnfc reaches it as pn532_uart:<SlavePath()>.

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "CardImage.h"
#include "SimTransport.h"

namespace emulator {

class Pn532Emulator {
 public:
  // `card` empty: nothing in the field. `silent`: the chip never answers.
  Pn532Emulator(std::optional<sim::CardImage> card, bool silent = false);
  ~Pn532Emulator();
  Pn532Emulator(const Pn532Emulator&) = delete;
  Pn532Emulator& operator=(const Pn532Emulator&) = delete;

  const std::string& SlavePath() const { return slavePath_; }
  std::string Connstring() const { return "pn532_uart:" + slavePath_; }
  std::vector<std::uint8_t> Commands() const;  // command codes received, in order

 private:
  void Run();
  void Consume();
  void Answer(std::uint8_t command, const felica::Bytes& parameters);
  void Send(const felica::Bytes& bytes);
  void Respond(std::uint8_t command, const felica::Bytes& data);
  felica::Bytes Card(std::span<const std::uint8_t> frame);

  int master_ = -1;
  int slave_ = -1;  // kept open so the master never sees a hang-up
  int stop_[2] = {-1, -1};
  std::string slavePath_;
  bool silent_;
  std::optional<sim::SimTransport> field_;
  felica::Bytes input_;
  std::vector<std::uint8_t> commands_;
  mutable std::mutex mutex_;
  std::thread thread_;
};

}  // namespace emulator
