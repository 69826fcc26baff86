// libusb-0.1, as libnfc 1.8's USB drivers use it, on the fake bus. Errors
// are negative errno values, as libusb-0.1 returns them on Linux.
#include <usb.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "emulators/usb/FakeUsb.h"

using fakeusb::Device;

struct usb_dev_handle {
  Device* device;
};

namespace {

// A device as libnfc walks it, with its own descriptors: bulk in and out.
struct Entry {
  struct usb_device device {};
  usb_config_descriptor config{};
  usb_interface interface {};
  usb_interface_descriptor setting{};
  usb_endpoint_descriptor endpoints[2]{};
};

struct Listing {
  usb_bus bus{};
  std::vector<Entry> entries;  // rebuilt by usb_find_devices
};

Listing& TheListing() {
  static Listing listing;
  return listing;
}

}  // namespace

extern "C" {

void usb_init(void) {}
int usb_find_busses(void) { return 0; }

int usb_find_devices(void) {
  Listing& listing = TheListing();
  const auto models = fakeusb::Plugged();
  listing.entries.assign(models.size(), Entry{});
  std::snprintf(listing.bus.dirname, sizeof listing.bus.dirname, "%03d", 1);
  listing.bus.devices = models.empty() ? nullptr : &listing.entries[0].device;
  for (std::size_t i = 0; i < models.size(); ++i) {
    Entry& entry = listing.entries[i];
    Device* model = models[i];
    entry.endpoints[0] = {7, USB_DT_ENDPOINT, model->endpointIn, USB_ENDPOINT_TYPE_BULK, 64, 0, 0, 0, nullptr, 0};
    entry.endpoints[1] = {7, USB_DT_ENDPOINT, model->endpointOut, USB_ENDPOINT_TYPE_BULK, 64, 0, 0, 0, nullptr, 0};
    entry.setting.bNumEndpoints = 2;
    entry.setting.endpoint = entry.endpoints;
    entry.interface.altsetting = &entry.setting;
    entry.interface.num_altsetting = 1;
    entry.config.bNumInterfaces = 1;
    entry.config.interface = &entry.interface;
    struct usb_device& device = entry.device;
    device.next = i + 1 < models.size() ? &listing.entries[i + 1].device : nullptr;
    device.bus = &listing.bus;
    std::snprintf(device.filename, sizeof device.filename, "%03d", model->address);
    device.descriptor.idVendor = model->vendor;
    device.descriptor.idProduct = model->product;
    device.descriptor.iProduct = 2;
    device.config = &entry.config;
    device.dev = model;
  }
  return static_cast<int>(models.size());
}

usb_bus* usb_get_busses(void) { return &TheListing().bus; }

usb_dev_handle* usb_open(struct usb_device* device) {
  auto* model = static_cast<Device*>(device->dev);
  return model->unplugged ? nullptr : new usb_dev_handle{model};
}

int usb_close(usb_dev_handle* handle) {
  if (handle->device->claimedBy == handle) handle->device->claimedBy = nullptr;  // closing the node lets go of it
  delete handle;
  return 0;
}

// Linux refuses to set the configuration of a device whose interface a driver or another program holds.
int usb_set_configuration(usb_dev_handle* handle, int) {
  const Device& device = *handle->device;
  if (device.noPermission) return -EPERM;
  return device.kernelDriver || device.heldByOther || device.claimedBy ? -EBUSY : 0;
}

int usb_claim_interface(usb_dev_handle* handle, int) {
  Device& device = *handle->device;
  if (device.noPermission) return -EPERM;
  if (device.kernelDriver || device.heldByOther || device.claimedBy) return -EBUSY;
  device.claimedBy = handle;
  return 0;
}

int usb_release_interface(usb_dev_handle* handle, int) {
  handle->device->claimedBy = nullptr;
  return 0;
}

int usb_reset(usb_dev_handle*) { return 0; }
int usb_set_altinterface(usb_dev_handle*, int) { return 0; }

int usb_get_string_simple(usb_dev_handle* handle, int index, char* buffer, size_t length) {
  if (index != 2 || length == 0) return -EINVAL;
  std::snprintf(buffer, length, "%s", handle->device->name.c_str());
  return static_cast<int>(std::strlen(buffer));
}

int usb_bulk_write(usb_dev_handle* handle, int, const char* bytes, int size, int) {
  if (handle->device->claimedBy != handle) return -EIO;
  return fakeusb::Write(*handle->device, reinterpret_cast<const std::uint8_t*>(bytes), size) ? size : -ENODEV;
}

int usb_bulk_read(usb_dev_handle* handle, int, char* bytes, int size, int timeout) {
  if (handle->device->claimedBy != handle) return -EIO;
  int length = 0;
  switch (fakeusb::Read(*handle->device, reinterpret_cast<std::uint8_t*>(bytes), size, length, timeout)) {
    case fakeusb::ReadResult::Ok: return length;
    case fakeusb::ReadResult::Timeout: return -ETIMEDOUT;
    case fakeusb::ReadResult::Gone: return -ENODEV;
  }
  return -EIO;
}

}  // extern "C"
