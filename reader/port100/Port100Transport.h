#pragma once
// The RC-S380 PaSoRi as a reader: FeliCa frames through the chip's InCommRF.

#include <memory>
#include <string_view>

#include "Port100Chip.h"
#include "Transport.h"
#include "UsbDevices.h"

namespace port100 {

class Port100Transport : public reader::Transport {
 public:
  explicit Port100Transport(std::unique_ptr<Port100Chip> chip) : chip_(std::move(chip)) {}
  std::string_view Name() const override { return "port100"; }
  reader::Expected<reader::Bytes> Exchange(std::span<const std::uint8_t> frame,
                                           std::chrono::milliseconds cardTime) override {
    return chip_->CommunicateRF(frame, cardTime);
  }

 private:
  std::unique_ptr<Port100Chip> chip_;
};

// The driver table's entry: the first RC-S380 on the USB that opens and answers.
reader::OpenResult Open(std::string_view argument, usb::Listing& usb);

}  // namespace port100
