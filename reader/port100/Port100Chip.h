#pragma once
// Commands of the port100 chip (RC-S380) over its bulk pipes: every command
// is a data frame, answered by an ACK and then a D7 response frame.

#include <chrono>
#include <memory>

#include "BulkPipes.h"
#include "Expected.h"
#include "Port100Frame.h"

namespace port100 {

class Port100Chip {
 public:
  explicit Port100Chip(std::unique_ptr<usb::BulkPipes> link);
  ~Port100Chip();  // turns the field off and resets the exchange

  // Resets the exchange, drains frames a killed session left behind, and
  // sets the chip up: command type 1, firmware version, field off, FeliCa 212 kbps.
  reader::Expected<void> Initialize();

  // Sends one FeliCa frame (length byte first) and returns the card's answer frame.
  reader::Expected<reader::Bytes> CommunicateRF(std::span<const std::uint8_t> frame,
                                                std::chrono::milliseconds cardTime);

 private:
  // What a chip does now and then and gets over: a command it took and left unanswered, or its error frame.
  enum class Hiccup { None, Unanswered, ErrorFrame };

  // The response's parameters (after D7 and command + 1). On any failure
  // the chip is told to abandon the command and what it still sends is read
  // out, so the next command meets only its own frames; after a hiccup the
  // command is sent once more.
  reader::Expected<reader::Bytes> Command(std::uint8_t command, std::span<const std::uint8_t> parameters,
                                          std::chrono::milliseconds extraTime = {});
  reader::Expected<reader::Bytes> Exchange(std::uint8_t command, std::span<const std::uint8_t> parameters,
                                           std::chrono::milliseconds extraTime, Hiccup& hiccup);
  void Abandon();

  std::unique_ptr<usb::BulkPipes> link_;
};

}  // namespace port100
