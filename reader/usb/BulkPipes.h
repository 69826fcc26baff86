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
  Partial,  // the device took only part of what was written: it holds half a command
  Error,    // any other transfer failure
};

class BulkPipes {
 public:
  // Interface 0 of `device` claimed, with its bulk endpoints.
  BulkPipes(std::unique_ptr<ClaimedDevice> device, std::uint8_t endpointIn, std::uint8_t endpointOut,
            int maxPacketSize);

  TransferStatus BulkWrite(std::span<const std::uint8_t> data, std::chrono::milliseconds timeout);
  // Reads one transfer (one frame) into `data`, empty unless Ok: what came of a transfer that timed out is no frame,
  // and it has left the device all the same.
  TransferStatus BulkRead(reader::Bytes& data, std::chrono::milliseconds timeout);
  // Reads out what the device still holds for the host (a killed session's
  // answers), until it has nothing for a moment.
  void Drain();

 private:
  std::unique_ptr<ClaimedDevice> device_;
  std::uint8_t endpointIn_;
  std::uint8_t endpointOut_;
  int maxPacketSize_;
};

// The bulk endpoints of interface 0 from the descriptor; ReaderAccess when
// the descriptor cannot be read or shows none, NoReader when the device left.
reader::Expected<std::unique_ptr<BulkPipes>> PipesOf(std::unique_ptr<ClaimedDevice> device, const Family& family);

}  // namespace usb
