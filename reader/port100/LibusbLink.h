#pragma once
// The RC-S380's bulk pipes through libusb-1.0.

#include <cstdint>
#include <memory>
#include <string>

#include "UsbLink.h"

struct libusb_context;
struct libusb_device_handle;

namespace port100 {

class LibusbLink : public UsbLink {
 public:
  struct OpenResult {
    std::unique_ptr<LibusbLink> link;
    std::int32_t rwError = 0;
    std::string diagnostic;
  };
  // The first device with a known RC-S380 id, interface 0 claimed.
  static OpenResult OpenFirst();

  ~LibusbLink() override;
  UsbStatus BulkWrite(std::span<const std::uint8_t> data, std::chrono::milliseconds timeout) override;
  UsbStatus BulkRead(felica::Bytes& data, std::chrono::milliseconds timeout) override;

 private:
  LibusbLink() = default;
  libusb_context* context_ = nullptr;
  libusb_device_handle* handle_ = nullptr;
  std::uint8_t endpointIn_ = 0;
  std::uint8_t endpointOut_ = 0;
  bool claimed_ = false;
};

}  // namespace port100
