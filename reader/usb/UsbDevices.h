#pragma once
// USB readers that the library drives itself or prepares for libnfc: find
// them by id, open and claim them, and say plainly why one cannot be used
// (permission, a kernel driver, another program).

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "Expected.h"

struct libusb_context;
struct libusb_device;
struct libusb_device_handle;

namespace usb {

struct DeviceId {
  std::uint16_t vendor;
  std::uint16_t product;
};

// How a reader family is named in diagnostics, and how its kernel driver is treated.
struct Family {
  std::span<const DeviceId> ids;
  const char* name;          // "the RC-S380"
  const char* kernelDriver;  // "port100"
  bool detachKernelDriver;   // true: take the reader from the kernel while it is claimed
};

class Bus;

// A device on the bus, as long as the Bus that found it lives.
struct Device {
  libusb_device* device;
  int bus;
  int address;
};

// The reader's interface 0, claimed; released (and any detached kernel
// driver given back) on destruction. It keeps the bus open while it lives.
class ClaimedDevice {
 public:
  ClaimedDevice(std::shared_ptr<const Bus> bus, libusb_device_handle* handle);
  ~ClaimedDevice();
  ClaimedDevice(const ClaimedDevice&) = delete;
  ClaimedDevice& operator=(const ClaimedDevice&) = delete;

  libusb_device_handle* Handle() const { return handle_; }

 private:
  std::shared_ptr<const Bus> bus_;
  libusb_device_handle* handle_;
};

class Bus : public std::enable_shared_from_this<Bus> {
 public:
  // One listing of the bus; NoReader when USB cannot be used at all.
  static reader::Expected<std::shared_ptr<Bus>> Open();
  ~Bus();
  Bus(const Bus&) = delete;
  Bus& operator=(const Bus&) = delete;

  // The devices of the family, in bus order.
  std::vector<Device> Find(const Family& family) const;

  // Opens and claims a device of the family; ReaderAccess with the fix in
  // the detail when it cannot, NoReader when it was unplugged meanwhile.
  reader::Expected<std::unique_ptr<ClaimedDevice>> Claim(const Device& device, const Family& family) const;

  // Why the first device of the family cannot be opened, or "" when none is
  // plugged in or nothing stands in the way.
  std::string AccessProblem(const Family& family) const;

 private:
  Bus(libusb_context* context, libusb_device** devices, long count);
  libusb_context* context_;
  libusb_device** devices_;
  long count_;
};

// NoReader: the device left between being found and being used.
reader::Unexpected Unplugged(const Family& family, const std::string& where);

// The bus as one reader opening sees it: the first driver that asks lists
// it, and every driver after it is handed the same listing.
class Listing {
 public:
  reader::Expected<std::shared_ptr<Bus>> Get();

 private:
  std::optional<reader::Expected<std::shared_ptr<Bus>>> bus_;
};

}  // namespace usb
