// libusb-1.0, as far as the reader library uses it, on the fake bus.
#include <libusb.h>

#include "emulators/usb/FakeUsb.h"

using fakeusb::Device;

struct libusb_context {};
struct libusb_device_handle {
  Device* device;
  bool autoDetach = false;
};

namespace {

Device* Of(libusb_device* device) { return reinterpret_cast<Device*>(device); }

}  // namespace

extern "C" {

int libusb_init(libusb_context** context) {
  *context = new libusb_context;
  return LIBUSB_SUCCESS;
}

void libusb_exit(libusb_context* context) { delete context; }

ssize_t libusb_get_device_list(libusb_context*, libusb_device*** list) {
  ++fakeusb::listings;
  const auto plugged = fakeusb::Plugged();
  *list = new libusb_device*[plugged.size() + 1]();
  for (std::size_t i = 0; i < plugged.size(); ++i) (*list)[i] = reinterpret_cast<libusb_device*>(plugged[i]);
  return static_cast<ssize_t>(plugged.size());
}

void libusb_free_device_list(libusb_device** list, int) { delete[] list; }

int libusb_get_device_descriptor(libusb_device* device, libusb_device_descriptor* descriptor) {
  *descriptor = {};
  descriptor->bLength = LIBUSB_DT_DEVICE_SIZE;
  descriptor->bDescriptorType = LIBUSB_DT_DEVICE;
  descriptor->idVendor = Of(device)->vendor;
  descriptor->idProduct = Of(device)->product;
  descriptor->bNumConfigurations = 1;
  return LIBUSB_SUCCESS;
}

uint8_t libusb_get_bus_number(libusb_device* device) { return Of(device)->bus; }
uint8_t libusb_get_device_address(libusb_device* device) { return Of(device)->address; }

int libusb_get_active_config_descriptor(libusb_device* device, libusb_config_descriptor** config) {
  if (Of(device)->unreadableConfiguration) return LIBUSB_ERROR_IO;
  auto* endpoints = new libusb_endpoint_descriptor[2]();
  endpoints[0].bEndpointAddress = Of(device)->endpointIn;
  endpoints[1].bEndpointAddress = Of(device)->endpointOut;
  for (int e = 0; e < 2; ++e) {
    endpoints[e].bmAttributes = LIBUSB_TRANSFER_TYPE_BULK;
    endpoints[e].wMaxPacketSize = 64;
  }
  auto* setting = new libusb_interface_descriptor();
  setting->bNumEndpoints = 2;
  setting->endpoint = endpoints;
  auto* interface = new libusb_interface();
  interface->altsetting = setting;
  interface->num_altsetting = 1;
  *config = new libusb_config_descriptor();
  (*config)->bNumInterfaces = 1;
  (*config)->interface = interface;
  return LIBUSB_SUCCESS;
}

void libusb_free_config_descriptor(libusb_config_descriptor* config) {
  delete[] config->interface->altsetting->endpoint;
  delete config->interface->altsetting;
  delete config->interface;
  delete config;
}

int libusb_open(libusb_device* device, libusb_device_handle** handle) {
  if (Of(device)->unplugged) return LIBUSB_ERROR_NO_DEVICE;
  if (Of(device)->noPermission) return LIBUSB_ERROR_ACCESS;
  *handle = new libusb_device_handle{Of(device)};
  return LIBUSB_SUCCESS;
}

void libusb_close(libusb_device_handle* handle) {
  if (handle->device->claimedBy == handle) handle->device->claimedBy = nullptr, handle->device->detached = false;
  delete handle;
}

libusb_device* libusb_get_device(libusb_device_handle* handle) {
  return reinterpret_cast<libusb_device*>(handle->device);
}

int libusb_set_auto_detach_kernel_driver(libusb_device_handle* handle, int enable) {
  if (!handle->device->canDetach) return LIBUSB_ERROR_NOT_SUPPORTED;
  handle->autoDetach = enable != 0;
  return LIBUSB_SUCCESS;
}

int libusb_kernel_driver_active(libusb_device_handle* handle, int) {
  return handle->device->kernelDriver && !handle->device->detached ? 1 : 0;
}

int libusb_claim_interface(libusb_device_handle* handle, int) {
  Device& device = *handle->device;
  if (device.heldByOther || device.claimedBy) return LIBUSB_ERROR_BUSY;
  if (device.kernelDriver && !device.detached) {
    if (!handle->autoDetach) return LIBUSB_ERROR_BUSY;
    device.detached = true;
  }
  device.claimedBy = handle;
  return LIBUSB_SUCCESS;
}

int libusb_release_interface(libusb_device_handle* handle, int) {
  handle->device->claimedBy = nullptr;
  handle->device->detached = false;  // the kernel driver comes back
  return LIBUSB_SUCCESS;
}

int libusb_bulk_transfer(libusb_device_handle* handle, unsigned char endpoint, unsigned char* data, int length,
                         int* transferred, unsigned int timeout) {
  Device& device = *handle->device;
  *transferred = 0;
  if (device.claimedBy != handle) return LIBUSB_ERROR_IO;
  if (!(endpoint & LIBUSB_ENDPOINT_IN)) {
    if (!fakeusb::Write(device, data, length)) return LIBUSB_ERROR_NO_DEVICE;
    *transferred = length;
    return LIBUSB_SUCCESS;
  }
  switch (fakeusb::Read(device, data, length, *transferred, static_cast<int>(timeout))) {
    case fakeusb::ReadResult::Ok: return LIBUSB_SUCCESS;
    case fakeusb::ReadResult::Timeout: return LIBUSB_ERROR_TIMEOUT;
    case fakeusb::ReadResult::Gone: return LIBUSB_ERROR_NO_DEVICE;
  }
  return LIBUSB_ERROR_IO;
}

const char* libusb_error_name(int code) {
  switch (code) {
    case LIBUSB_ERROR_ACCESS: return "LIBUSB_ERROR_ACCESS";
    case LIBUSB_ERROR_BUSY: return "LIBUSB_ERROR_BUSY";
    case LIBUSB_ERROR_NO_DEVICE: return "LIBUSB_ERROR_NO_DEVICE";
    case LIBUSB_ERROR_TIMEOUT: return "LIBUSB_ERROR_TIMEOUT";
    default: return "LIBUSB_ERROR_OTHER";
  }
}

}  // extern "C"
