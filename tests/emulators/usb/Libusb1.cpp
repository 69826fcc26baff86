// libusb-1.0, as far as the reader library uses it, on the fake bus.
#include <libusb.h>

#include <algorithm>
#include <vector>

#include "emulators/usb/FakeUsb.h"

using fakeusb::Device;

struct libusb_context {};
struct libusb_device_handle {
  Device* device;
  bool autoDetach = false;
};

namespace {

Device* Of(libusb_device* device) { return reinterpret_cast<Device*>(device); }

struct PendingTransfer {
  libusb_transfer* transfer;
  fakeusb::Clock::time_point deadline;
  bool cancelled = false;
};

std::vector<PendingTransfer>& Pending() {
  static std::vector<PendingTransfer> pending;
  return pending;
}

}  // namespace

extern "C" {

int libusb_init(libusb_context** context) { return *context = new libusb_context, LIBUSB_SUCCESS; }

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
  const Device& d = *Of(device);  // no class, no strings, one configuration
  *descriptor = {
      LIBUSB_DT_DEVICE_SIZE, LIBUSB_DT_DEVICE, 0x0200, 0, 0, 0, 64, d.vendor, d.product, d.bcdDevice, 0, 0, 0, 1};
  return LIBUSB_SUCCESS;
}

uint8_t libusb_get_bus_number(libusb_device* device) { return Of(device)->bus; }
uint8_t libusb_get_device_address(libusb_device* device) { return Of(device)->address; }

int libusb_get_active_config_descriptor(libusb_device* device, libusb_config_descriptor** config) {
  const Device& model = *Of(device);
  if (model.unreadableConfiguration) return LIBUSB_ERROR_IO;
  auto* endpoints = new libusb_endpoint_descriptor[3]();
  const std::uint8_t addresses[] = {model.endpointIn, model.endpointOut, model.endpointInterrupt};
  for (int e = 0; e < 3; ++e) {
    endpoints[e] = {
        LIBUSB_DT_ENDPOINT_SIZE, LIBUSB_DT_ENDPOINT, addresses[e], LIBUSB_TRANSFER_TYPE_BULK, 64, 0, 0, 0, nullptr, 0};
  }
  endpoints[2].bmAttributes = LIBUSB_TRANSFER_TYPE_INTERRUPT, endpoints[2].wMaxPacketSize = 8;
  auto* setting = new libusb_interface_descriptor();
  setting->bInterfaceClass = model.interfaceClass;
  setting->bNumEndpoints = model.endpointInterrupt ? 3 : 2;
  setting->endpoint = endpoints;
  setting->extra = model.classDescriptor.data();
  setting->extra_length = static_cast<int>(model.classDescriptor.size());
  *config = new libusb_config_descriptor{0, 0, 0, 1, 0, 0, 0, 0, new libusb_interface{setting, 1}, nullptr, 0};
  return LIBUSB_SUCCESS;
}

void libusb_free_config_descriptor(libusb_config_descriptor* config) {
  delete[] config->interface->altsetting->endpoint, delete config->interface->altsetting;
  delete config->interface, delete config;
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
  if (device.unplugged || device.unplugsAtClaim) return LIBUSB_ERROR_NO_DEVICE;
  if (device.heldByOther || device.claimedBy) return LIBUSB_ERROR_BUSY;
  if (device.kernelDriver && !device.detached) {
    if (!handle->autoDetach) return LIBUSB_ERROR_BUSY;
    device.detached = true;
  }
  device.claimedBy = handle;
  return LIBUSB_SUCCESS;
}

int libusb_release_interface(libusb_device_handle* handle, int) {
  handle->device->claimedBy = nullptr, handle->device->detached = false;  // the kernel driver comes back
  return LIBUSB_SUCCESS;
}

int libusb_bulk_transfer(libusb_device_handle* handle, unsigned char endpoint, unsigned char* data, int length,
                         int* transferred, unsigned int timeout) {
  Device& device = *handle->device;
  *transferred = 0;
  if (device.claimedBy != handle) return LIBUSB_ERROR_IO;
  if (!(endpoint & LIBUSB_ENDPOINT_IN)) {
    *transferred = std::min(length, device.takesAtMost);
    if (!fakeusb::Write(device, data, *transferred)) return LIBUSB_ERROR_NO_DEVICE;
    return *transferred == length ? LIBUSB_SUCCESS : LIBUSB_ERROR_TIMEOUT;
  }
  constexpr int kResults[] = {LIBUSB_SUCCESS, LIBUSB_ERROR_TIMEOUT, LIBUSB_ERROR_NO_DEVICE};  // ReadResult's order
  return kResults[static_cast<int>(fakeusb::Read(device, data, length, *transferred, static_cast<int>(timeout)))];
}

// No class or vendor request is answered: the endpoint stalls, as on a
// reader whose descriptor announces none (libccid asks only then).
int libusb_control_transfer(libusb_device_handle*, uint8_t, uint8_t, uint16_t, uint16_t, unsigned char*, uint16_t,
                            unsigned int) {
  return LIBUSB_ERROR_PIPE;
}

int libusb_get_string_descriptor_ascii(libusb_device_handle*, uint8_t, unsigned char*, int) {
  return LIBUSB_ERROR_INVALID_PARAM;  // the fake devices name no strings (index 0)
}

// Asynchronous transfers: only the interrupt pipe's, as libccid polls it.
libusb_transfer* libusb_alloc_transfer(int) { return new libusb_transfer(); }
void libusb_free_transfer(struct libusb_transfer* transfer) { delete transfer; }

int libusb_submit_transfer(struct libusb_transfer* transfer) {
  if (transfer->type != LIBUSB_TRANSFER_TYPE_INTERRUPT ||
      transfer->dev_handle->device->claimedBy != transfer->dev_handle)
    return LIBUSB_ERROR_NOT_SUPPORTED;
  std::lock_guard lock(fakeusb::Lock());
  Pending().push_back({transfer, transfer->timeout
                                     ? fakeusb::Clock::now() + std::chrono::milliseconds(transfer->timeout)
                                     : fakeusb::Clock::time_point::max()});
  return LIBUSB_SUCCESS;
}

int libusb_cancel_transfer(struct libusb_transfer* transfer) {
  std::lock_guard lock(fakeusb::Lock());
  for (auto& pending : Pending()) pending.cancelled = pending.cancelled || pending.transfer == transfer;
  fakeusb::Changed().notify_all();
  return LIBUSB_SUCCESS;
}

// Completes what is due (a notification, a timeout, a cancellation) until `completed` is set.
int libusb_handle_events_completed(libusb_context*, int* completed) {
  std::unique_lock lock(fakeusb::Lock());
  for (;;) {
    auto next = fakeusb::Clock::time_point::max();
    for (auto it = Pending().begin(); it != Pending().end();) {
      libusb_transfer* transfer = it->transfer;
      auto& notifications = transfer->dev_handle->device->interrupts;
      const auto now = fakeusb::Clock::now();
      const bool notified = !notifications.empty() && notifications.front().first <= now;
      if (!notified && !it->cancelled && it->deadline > now) {
        next = std::min({next, it->deadline, notifications.empty() ? next : notifications.front().first});
        ++it;
        continue;
      }
      transfer->status = notified        ? LIBUSB_TRANSFER_COMPLETED
                         : it->cancelled ? LIBUSB_TRANSFER_CANCELLED
                                         : LIBUSB_TRANSFER_TIMED_OUT;
      const fakeusb::Bytes message = notified ? notifications.front().second : fakeusb::Bytes{};
      transfer->actual_length = std::min(transfer->length, static_cast<int>(message.size()));
      std::copy_n(message.begin(), transfer->actual_length, transfer->buffer);
      if (notified) notifications.pop_front();
      it = Pending().erase(it);
      transfer->callback(transfer);
      fakeusb::Changed().notify_all();
    }
    if (!completed || *completed) return LIBUSB_SUCCESS;
    fakeusb::Changed().wait_until(lock, next);
  }
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
