#pragma once
// The command set of NXP's PN532 and PN533 and Sony's RC-S956 (inside the
// RC-S330/360/370), as their user manuals, nfcpy's drivers and libnfc
// describe them, with a FeliCa card in the field. As strict as the chips:
// InListPassiveTarget keeps polling until RFConfiguration item 05 limits
// its retries (or an ACK aborts it), InDataExchange without a listed target
// answers status 27, the chip waits for the card as long as RFConfiguration
// item 02 says, and a command it does not know gets the syntax error frame.

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <span>

#include "emulators/FelicaCard.h"

namespace emulator {

enum class Pn53xModel { Pn532, Pn533, Rcs956 };

class Pn53xChip {
 public:
  explicit Pn53xChip(Pn53xModel model) : model_(model) {}

  struct Reply {
    Bytes data;                       // D5, command + 1, results
    std::chrono::microseconds after;  // how long the chip takes to answer
    bool syntaxError = false;         // answered by the error frame instead
  };
  // One command (its code, then parameters). nullopt while the chip keeps
  // working on it: only the host's ACK ends that, and the front that carries
  // the frames drops the answer it was waiting for.
  std::optional<Reply> Execute(std::span<const std::uint8_t> command);

  Pn53xModel Model() const { return model_; }
  std::shared_ptr<FelicaCard> card;  // nothing in the field when empty

 private:
  Reply Answer(std::uint8_t command, Bytes results, std::chrono::microseconds after = std::chrono::microseconds(500));
  std::optional<Reply> ListPassiveTarget(std::span<const std::uint8_t> parameters);
  Reply Exchange(std::uint8_t command, std::span<const std::uint8_t> frame);

  Pn53xModel model_;
  std::map<std::uint16_t, std::uint8_t> registers_;
  std::uint8_t passiveRetries_ = 0xFF;  // RFConfiguration 05, third byte: FF retries for ever
  std::uint8_t retryTimeout_ = 0x0A;    // RFConfiguration 02, third byte: 100 us x 2^(n-1)
  bool targetListed_ = false;
};

}  // namespace emulator
