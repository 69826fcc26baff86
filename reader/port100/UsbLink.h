#pragma once
// The USB side of a reader as the port100 layer needs it: two bulk pipes
// with bounded waits. LibusbLink is the real one; tests put an emulator here.

#include <chrono>
#include <cstdint>
#include <span>

#include "Bytes.h"

namespace port100 {

enum class UsbStatus {
  Ok,
  Timeout,  // nothing arrived in time
  Gone,     // the device was unplugged
  Error,    // any other transfer failure
};

class UsbLink {
 public:
  virtual ~UsbLink() = default;
  virtual UsbStatus BulkWrite(std::span<const std::uint8_t> data, std::chrono::milliseconds timeout) = 0;
  // Reads one transfer (one frame) into `data`.
  virtual UsbStatus BulkRead(felica::Bytes& data, std::chrono::milliseconds timeout) = 0;
};

}  // namespace port100
