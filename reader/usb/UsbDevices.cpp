#include "UsbDevices.h"

#include <libusb.h>

#include <cstdio>

namespace usb {
namespace {

using reader::ErrorKind;
using reader::Fail;

constexpr int kInterface = 0;

std::string NodePath(const Device& device) {
  char node[48];
  std::snprintf(node, sizeof node, "/dev/bus/usb/%03d/%03d", device.bus, device.address);
  return node;
}

std::string UdevFix() {
  return "install the udev rule 60-qavo-card-reader.rules (the package does) and plug the reader in again";
}

std::string KernelDriverFix(const Family& family) {
  return std::string("the kernel's ") + family.kernelDriver + " driver holds " + family.name +
         ": run 'sudo modprobe -r " + family.kernelDriver + "' and add 'blacklist " + family.kernelDriver +
         "' to /etc/modprobe.d/qavo-card-reader.conf";
}

}  // namespace

reader::Unexpected Unplugged(const Family& family, const std::string& where) {
  return Fail(ErrorKind::NoReader, std::string(family.name) + " was unplugged (" + where + ")");
}

ClaimedDevice::ClaimedDevice(std::shared_ptr<const Bus> bus, libusb_device_handle* handle)
    : bus_(std::move(bus)), handle_(handle) {}

ClaimedDevice::~ClaimedDevice() {
  libusb_release_interface(handle_, kInterface);  // gives a detached kernel driver back
  libusb_close(handle_);
}

reader::Expected<std::shared_ptr<Bus>> Listing::Get() {
  if (!bus_) bus_ = Bus::Open();
  return *bus_;
}

reader::Expected<std::shared_ptr<Bus>> Bus::Open() {
  libusb_context* context = nullptr;
  if (const int error = libusb_init(&context); error != LIBUSB_SUCCESS) {
    return Fail(ErrorKind::NoReader, std::string("USB is not available: ") + libusb_error_name(error));
  }
  libusb_device** devices = nullptr;
  const ssize_t count = libusb_get_device_list(context, &devices);
  if (count < 0) {
    libusb_exit(context);
    return Fail(ErrorKind::NoReader,
                std::string("cannot list USB devices: ") + libusb_error_name(static_cast<int>(count)));
  }
  return std::shared_ptr<Bus>(new Bus(context, devices, count));
}

Bus::Bus(libusb_context* context, libusb_device** devices, long count)
    : context_(context), devices_(devices), count_(count) {}

Bus::~Bus() {
  libusb_free_device_list(devices_, 1);
  libusb_exit(context_);
}

std::vector<Device> Bus::Find(const Family& family) const {
  std::vector<Device> found;
  for (long i = 0; i < count_; ++i) {
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(devices_[i], &descriptor) != LIBUSB_SUCCESS) continue;
    for (const DeviceId& id : family.ids) {
      if (descriptor.idVendor == id.vendor && descriptor.idProduct == id.product) {
        found.push_back({devices_[i], libusb_get_bus_number(devices_[i]), libusb_get_device_address(devices_[i])});
      }
    }
  }
  return found;
}

reader::Expected<std::unique_ptr<ClaimedDevice>> Bus::Claim(const Device& device, const Family& family) const {
  const std::string node = NodePath(device);
  libusb_device_handle* handle = nullptr;
  int error = libusb_open(device.device, &handle);
  if (error == LIBUSB_ERROR_NO_DEVICE) return Unplugged(family, node);
  if (error == LIBUSB_ERROR_ACCESS) {
    return Fail(ErrorKind::ReaderAccess,
                std::string("no permission to open ") + family.name + " (" + node + "): " + UdevFix());
  }
  if (error != LIBUSB_SUCCESS) {
    return Fail(ErrorKind::ReaderAccess,
                std::string("cannot open ") + family.name + " (" + node + "): " + libusb_error_name(error));
  }
  // Where libusb can take the reader from its kernel driver, a claim that
  // is still refused means another program holds it.
  const bool detaching = family.detachKernelDriver && libusb_set_auto_detach_kernel_driver(handle, 1) == LIBUSB_SUCCESS;
  const bool kernelDriver = !detaching && libusb_kernel_driver_active(handle, kInterface) == 1;
  error = kernelDriver ? LIBUSB_ERROR_BUSY : libusb_claim_interface(handle, kInterface);
  if (error == LIBUSB_SUCCESS) return std::make_unique<ClaimedDevice>(shared_from_this(), handle);
  libusb_close(handle);
  if (error == LIBUSB_ERROR_NO_DEVICE) return Unplugged(family, node);
  if (kernelDriver) return Fail(ErrorKind::ReaderAccess, KernelDriverFix(family));
  if (error == LIBUSB_ERROR_BUSY) {
    return Fail(ErrorKind::ReaderAccess,
                std::string("another program holds ") + family.name + " (" + node + "): close it and press READ again");
  }
  if (error == LIBUSB_ERROR_ACCESS) {
    return Fail(ErrorKind::ReaderAccess,
                std::string("no permission to claim ") + family.name + " (" + node + "): " + UdevFix());
  }
  return Fail(ErrorKind::ReaderAccess,
              std::string("cannot claim ") + family.name + " (" + node + "): " + libusb_error_name(error));
}

std::string Bus::AccessProblem(const Family& family) const {
  for (const Device& device : Find(family)) {
    auto claimed = Claim(device, family);
    if (!claimed) return claimed.error().detail;
  }
  return {};
}

}  // namespace usb
