#pragma once
// A claimed reader's two bulk pipes through libusb-1.0, with bounded waits.

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>

#include "Bytes.h"
#include "UsbDevices.h"

namespace usb {

enum class TransferStatus {
  Ok,
  Timeout,  // nothing arrived in time
  Gone,     // the device was unplugged
  Error,    // any other transfer failure
};

class BulkPipes {
 public:
  // Interface 0 of `device` claimed, with its bulk endpoints.
  BulkPipes(std::unique_ptr<ClaimedDevice> device, std::uint8_t endpointIn, std::uint8_t endpointOut,
             int maxPacketSize);

  TransferStatus BulkWrite(std::span<const std::uint8_t> data, std::chrono::milliseconds timeout);
  // Reads one transfer (one frame) into `data`.
  TransferStatus BulkRead(reader::Bytes& data, std::chrono::milliseconds timeout);

 private:
  std::unique_ptr<ClaimedDevice> device_;
  std::uint8_t endpointIn_;
  std::uint8_t endpointOut_;
  int maxPacketSize_;
};

// The bulk endpoints of interface 0 from the descriptor; nullptr when it shows none.
std::unique_ptr<BulkPipes> PipesOf(std::unique_ptr<ClaimedDevice> device);

}  // namespace usb
