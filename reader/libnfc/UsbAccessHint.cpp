#include "UsbAccessHint.h"

#include <libusb.h>
#include <sys/stat.h>

namespace reader {

std::string UsbAccessHint() {
  libusb_context* context = nullptr;
  if (libusb_init(&context) != LIBUSB_SUCCESS) return {};
  libusb_device** devices = nullptr;
  const ssize_t count = libusb_get_device_list(context, &devices);
  std::string hint;
  for (ssize_t i = 0; i < count && hint.empty(); ++i) {
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(devices[i], &descriptor) != LIBUSB_SUCCESS) continue;
    if (descriptor.idVendor != 0x054C || descriptor.idProduct != 0x02E1) continue;
    libusb_device_handle* handle = nullptr;
    const int error = libusb_open(devices[i], &handle);
    if (error == LIBUSB_ERROR_ACCESS) {
      hint = "an RC-S330/360/370 is plugged in but not accessible: install the udev rule "
             "60-qavo-card-reader.rules (the package does) and plug the reader in again";
    } else if (handle) {
      if (libusb_kernel_driver_active(handle, 0) == 1) {
        hint = "the kernel's pn533_usb driver holds the RC-S330/360/370: run 'sudo modprobe -r pn533_usb' and add "
               "'blacklist pn533_usb' to /etc/modprobe.d/qavo-card-reader.conf";
      }
      libusb_close(handle);
    }
  }
  if (count >= 0) libusb_free_device_list(devices, 1);
  libusb_exit(context);
  return hint;
}

}  // namespace reader
