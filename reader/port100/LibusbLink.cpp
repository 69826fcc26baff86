#include "LibusbLink.h"

#include <libusb.h>

#include "felica_for_vb.h"

namespace port100 {
namespace {

constexpr std::uint16_t kSonyVendor = 0x054C;
constexpr std::uint16_t kRcS380Products[] = {0x06C1, 0x06C3};
constexpr int kInterface = 0;
constexpr const char* kUdevHint =
    "install the udev rule 60-qavo-card-reader.rules (the package does) and plug the reader in again";
constexpr const char* kDriverHint =
    "the kernel's port100 driver holds the reader: run 'sudo modprobe -r port100' and add "
    "'blacklist port100' to /etc/modprobe.d/qavo-card-reader.conf";

bool IsRcS380(const libusb_device_descriptor& descriptor) {
  if (descriptor.idVendor != kSonyVendor) return false;
  for (auto product : kRcS380Products) {
    if (descriptor.idProduct == product) return true;
  }
  return false;
}

UsbStatus StatusFor(int error) {
  switch (error) {
    case LIBUSB_SUCCESS: return UsbStatus::Ok;
    case LIBUSB_ERROR_TIMEOUT: return UsbStatus::Timeout;
    case LIBUSB_ERROR_NO_DEVICE: return UsbStatus::Gone;
    default: return UsbStatus::Error;
  }
}

}  // namespace

LibusbLink::OpenResult LibusbLink::OpenFirst() {
  std::unique_ptr<LibusbLink> link(new LibusbLink);
  if (int error = libusb_init(&link->context_); error != LIBUSB_SUCCESS) {
    link->context_ = nullptr;
    return {nullptr, FELICA_RW_NO_READER, std::string("USB is not available: ") + libusb_error_name(error)};
  }
  libusb_device** devices = nullptr;
  const ssize_t count = libusb_get_device_list(link->context_, &devices);
  libusb_device* found = nullptr;
  for (ssize_t i = 0; i < count && !found; ++i) {
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(devices[i], &descriptor) == LIBUSB_SUCCESS && IsRcS380(descriptor)) {
      found = devices[i];
    }
  }
  int error = found ? libusb_open(found, &link->handle_) : LIBUSB_ERROR_NOT_FOUND;
  const int bus = found ? libusb_get_bus_number(found) : 0;
  const int address = found ? libusb_get_device_address(found) : 0;
  libusb_config_descriptor* config = nullptr;
  if (error == LIBUSB_SUCCESS) error = libusb_get_active_config_descriptor(found, &config);
  if (count >= 0) libusb_free_device_list(devices, 1);

  if (error == LIBUSB_ERROR_NOT_FOUND) return {nullptr, FELICA_RW_NO_READER, "no RC-S380 on the USB"};
  if (error == LIBUSB_ERROR_ACCESS) {
    char node[64];
    std::snprintf(node, sizeof node, "/dev/bus/usb/%03d/%03d", bus, address);
    return {nullptr, FELICA_RW_READER_ACCESS, std::string("no permission to open the RC-S380 (") + node + "): " + kUdevHint};
  }
  if (error != LIBUSB_SUCCESS) {
    return {nullptr, FELICA_RW_READER_ACCESS, std::string("cannot open the RC-S380: ") + libusb_error_name(error)};
  }

  // Bulk endpoints of interface 0, as its descriptor lists them.
  if (config->bNumInterfaces > 0 && config->interface[0].num_altsetting > 0) {
    const auto& setting = config->interface[0].altsetting[0];
    for (int e = 0; e < setting.bNumEndpoints; ++e) {
      const auto& endpoint = setting.endpoint[e];
      if ((endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) != LIBUSB_TRANSFER_TYPE_BULK) continue;
      if (endpoint.bEndpointAddress & LIBUSB_ENDPOINT_IN) {
        link->endpointIn_ = endpoint.bEndpointAddress;
      } else {
        link->endpointOut_ = endpoint.bEndpointAddress;
      }
    }
  }
  libusb_free_config_descriptor(config);
  if (!link->endpointIn_ || !link->endpointOut_) {
    return {nullptr, FELICA_RW_READER_ACCESS, "the RC-S380 shows no bulk endpoints"};
  }

  libusb_set_auto_detach_kernel_driver(link->handle_, 1);  // not every platform can; claiming tells
  error = libusb_claim_interface(link->handle_, kInterface);
  if (error == LIBUSB_ERROR_BUSY) return {nullptr, FELICA_RW_READER_ACCESS, kDriverHint};
  if (error == LIBUSB_ERROR_ACCESS) return {nullptr, FELICA_RW_READER_ACCESS, std::string("no permission to claim the RC-S380: ") + kUdevHint};
  if (error != LIBUSB_SUCCESS) {
    return {nullptr, FELICA_RW_READER_ACCESS, std::string("cannot claim the RC-S380: ") + libusb_error_name(error)};
  }
  link->claimed_ = true;
  return {std::move(link), 0, {}};
}

LibusbLink::~LibusbLink() {
  if (claimed_) libusb_release_interface(handle_, kInterface);  // gives a detached kernel driver back
  if (handle_) libusb_close(handle_);
  if (context_) libusb_exit(context_);
}

UsbStatus LibusbLink::BulkWrite(std::span<const std::uint8_t> data, std::chrono::milliseconds timeout) {
  int transferred = 0;
  const int error = libusb_bulk_transfer(handle_, endpointOut_, const_cast<std::uint8_t*>(data.data()),
                                         static_cast<int>(data.size()), &transferred,
                                         static_cast<unsigned>(std::max<long>(1, timeout.count())));
  if (error == LIBUSB_SUCCESS && transferred != static_cast<int>(data.size())) return UsbStatus::Error;
  return StatusFor(error);
}

UsbStatus LibusbLink::BulkRead(felica::Bytes& data, std::chrono::milliseconds timeout) {
  data.assign(512, 0);
  int transferred = 0;
  const int error = libusb_bulk_transfer(handle_, endpointIn_, data.data(), static_cast<int>(data.size()),
                                         &transferred, static_cast<unsigned>(std::max<long>(1, timeout.count())));
  data.resize(error == LIBUSB_SUCCESS ? static_cast<std::size_t>(transferred) : 0);
  return StatusFor(error);
}

}  // namespace port100
