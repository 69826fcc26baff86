#include "BulkPipes.h"

#include <libusb.h>

#include <algorithm>

#include "Trace.h"

namespace usb {
namespace {

TransferStatus StatusFor(int error) {
  switch (error) {
    case LIBUSB_SUCCESS: return TransferStatus::Ok;
    case LIBUSB_ERROR_TIMEOUT: return TransferStatus::Timeout;
    case LIBUSB_ERROR_NO_DEVICE: return TransferStatus::Gone;
    default: return TransferStatus::Error;
  }
}

unsigned Milliseconds(std::chrono::milliseconds timeout) {
  return static_cast<unsigned>(std::max<long>(1, timeout.count()));  // 0 would wait forever
}

}  // namespace

BulkPipes::BulkPipes(std::unique_ptr<ClaimedDevice> device, std::uint8_t endpointIn, std::uint8_t endpointOut,
                     int maxPacketSize)
    : device_(std::move(device)), endpointIn_(endpointIn), endpointOut_(endpointOut), maxPacketSize_(maxPacketSize) {}

TransferStatus BulkPipes::BulkWrite(std::span<const std::uint8_t> data, std::chrono::milliseconds timeout) {
  reader::trace::Bytes("usb", reader::trace::Direction::ToReader, data);
  int transferred = 0;
  int error = libusb_bulk_transfer(device_->Handle(), endpointOut_, const_cast<std::uint8_t*>(data.data()),
                                   static_cast<int>(data.size()), &transferred, Milliseconds(timeout));
  // Part of a frame taken is not a silence: the device holds half a command.
  if ((error == LIBUSB_ERROR_TIMEOUT && transferred > 0) ||
      (error == LIBUSB_SUCCESS && transferred != static_cast<int>(data.size()))) {
    return TransferStatus::Partial;
  }
  // A transfer of whole packets ends only with a short one: send it empty.
  if (error == LIBUSB_SUCCESS && maxPacketSize_ > 0 && data.size() % static_cast<std::size_t>(maxPacketSize_) == 0) {
    error = libusb_bulk_transfer(device_->Handle(), endpointOut_, nullptr, 0, &transferred, Milliseconds(timeout));
  }
  return StatusFor(error);
}

TransferStatus BulkPipes::BulkRead(reader::Bytes& data, std::chrono::milliseconds timeout) {
  data.assign(512, 0);
  int transferred = 0;
  const int error = libusb_bulk_transfer(device_->Handle(), endpointIn_, data.data(), static_cast<int>(data.size()),
                                         &transferred, Milliseconds(timeout));
  data.resize(error == LIBUSB_SUCCESS ? static_cast<std::size_t>(transferred) : 0);
  if (!data.empty()) reader::trace::Bytes("usb", reader::trace::Direction::FromReader, data);
  return StatusFor(error);
}

void BulkPipes::Drain() {
  reader::Bytes stale;
  for (int i = 0; i < 64 && BulkRead(stale, std::chrono::milliseconds(10)) == TransferStatus::Ok; ++i) {
  }
}

reader::Expected<std::unique_ptr<BulkPipes>> PipesOf(std::unique_ptr<ClaimedDevice> device, const Family& family) {
  libusb_config_descriptor* config = nullptr;
  if (const int error = libusb_get_active_config_descriptor(libusb_get_device(device->Handle()), &config);
      error != LIBUSB_SUCCESS) {
    if (error == LIBUSB_ERROR_NO_DEVICE) return Unplugged(family, "its configuration");
    return reader::Fail(reader::ErrorKind::ReaderAccess, std::string("cannot read the configuration of ") +
                                                             family.name + ": " + libusb_error_name(error));
  }
  std::uint8_t in = 0, out = 0;
  int packet = 0;
  if (config->bNumInterfaces > 0 && config->interface[0].num_altsetting > 0) {
    const auto& setting = config->interface[0].altsetting[0];
    for (int e = 0; e < setting.bNumEndpoints; ++e) {
      const auto& endpoint = setting.endpoint[e];
      if ((endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) != LIBUSB_TRANSFER_TYPE_BULK) continue;
      (endpoint.bEndpointAddress & LIBUSB_ENDPOINT_IN ? in : out) = endpoint.bEndpointAddress;
      if (!(endpoint.bEndpointAddress & LIBUSB_ENDPOINT_IN)) packet = endpoint.wMaxPacketSize;
    }
  }
  libusb_free_config_descriptor(config);
  if (!in || !out)
    return reader::Fail(reader::ErrorKind::ReaderAccess, std::string(family.name) + " shows no bulk endpoints");
  return std::make_unique<BulkPipes>(std::move(device), in, out, packet);
}

}  // namespace usb
