#pragma once
// The RC-S380 PaSoRi as a reader: FeliCa frames through the chip's InCommRF.

#include <memory>
#include <string_view>

#include "Port100Chip.h"
#include "ReaderChoice.h"
#include "Transport.h"

namespace port100 {

class Port100Transport : public reader::Transport {
 public:
  explicit Port100Transport(std::unique_ptr<Port100Chip> chip) : chip_(std::move(chip)) {}
  std::string_view Name() const override { return "port100"; }
  reader::TransportResult Exchange(std::span<const std::uint8_t> frame, std::chrono::milliseconds timeout) override;

 private:
  std::unique_ptr<Port100Chip> chip_;
};

// Sets the chip up over `link` and makes it a reader.
reader::OpenResult OpenOverLink(std::unique_ptr<UsbLink> link);

// The first RC-S380 on the USB (the driver table's entry).
reader::OpenResult OpenFirstDevice(std::string_view argument);

}  // namespace port100
