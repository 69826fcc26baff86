#pragma once
// Commands of the port100 chip (RC-S380) over a UsbLink: every command is
// a data frame, answered by an ACK and then a D7 response frame.

#include <chrono>
#include <memory>
#include <string>

#include "Port100Frame.h"
#include "UsbLink.h"

namespace port100 {

enum class ChipStatus {
  Ok,
  CardTimeout,  // InCommRF: the card did not answer (error bit 0x80)
  CardError,    // InCommRF: another RF error
  NoAnswer,     // the chip did not answer in time
  BadFrame,     // the chip's answer did not make sense
  Gone,         // the reader was unplugged
};

struct ChipResult {
  ChipStatus status = ChipStatus::Ok;
  felica::Bytes data;  // the response's parameters (after D7, command+1)
  std::string detail;  // for diagnostics
};

class Port100Chip {
 public:
  explicit Port100Chip(std::unique_ptr<UsbLink> link);
  ~Port100Chip();  // turns the field off and resets the exchange

  // Resets the exchange, drains frames a killed session left behind, and
  // sets the chip up: command type 1, firmware version, field off, FeliCa 212 kbps.
  ChipResult Initialize();

  // Sends one FeliCa frame (length byte first) and returns the card's answer frame.
  ChipResult CommunicateRF(std::span<const std::uint8_t> frame, std::chrono::milliseconds timeout);

  ChipResult Command(std::uint8_t command, std::span<const std::uint8_t> parameters,
                     std::chrono::milliseconds timeout);

 private:
  std::unique_ptr<UsbLink> link_;
};

}  // namespace port100
