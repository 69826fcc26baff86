#include "emulators/usb/FakeUsb.h"

#include <algorithm>
#include <utility>

namespace fakeusb {
namespace {

constexpr int kMaxPacket = 64;

std::vector<std::shared_ptr<Device>>& Devices() {
  static std::vector<std::shared_ptr<Device>> devices;
  return devices;
}

}  // namespace

Device::Device(std::uint16_t vendorId, std::uint16_t productId, std::string productName, std::uint8_t in,
               std::uint8_t out)
    : vendor(vendorId), product(productId), name(std::move(productName)), endpointIn(in), endpointOut(out) {}

std::recursive_mutex& Lock() {
  static std::recursive_mutex lock;
  return lock;
}

std::condition_variable_any& Changed() {
  static std::condition_variable_any changed;
  return changed;
}

void Device::Queue(Bytes frame, Clock::duration after) {
  std::lock_guard lock(Lock());
  toHost.emplace_back(Clock::now() + after, std::move(frame));
  Changed().notify_all();
}

void Device::Notify(Bytes message, Clock::duration after) {
  std::lock_guard lock(Lock());
  interrupts.emplace_back(Clock::now() + after, std::move(message));
  Changed().notify_all();
}

void Device::DropPending() {
  std::lock_guard lock(Lock());
  const auto now = Clock::now();
  std::erase_if(toHost, [now](const auto& frame) { return frame.first > now; });
}

void Plug(std::shared_ptr<Device> device) {
  std::lock_guard lock(Lock());
  device->address = static_cast<std::uint8_t>(Devices().size() + 2);
  Devices().push_back(std::move(device));
}

void UnplugAll() {
  for (auto& device : Devices()) device->unplugged = true;
  Devices().clear();
}

std::vector<Device*> Plugged() {
  std::vector<Device*> plugged;
  for (auto& device : Devices()) plugged.push_back(device.get());
  return plugged;
}

bool Write(Device& device, const std::uint8_t* data, int length) {
  std::lock_guard lock(Lock());
  if (device.unplugged) return false;
  device.writes.emplace_back(data, data + length);
  device.partialOut.insert(device.partialOut.end(), data, data + length);
  if (length % kMaxPacket != 0) {  // a short packet ends the transfer; whole packets wait for one
    const Bytes transfer = std::exchange(device.partialOut, {});
    device.Received(transfer);
  } else if (length == 0) {
    device.Received(std::exchange(device.partialOut, {}));
  }
  return true;
}

ReadResult Read(Device& device, std::uint8_t* data, int capacity, int& length, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 10000);
  std::unique_lock lock(Lock());
  for (;;) {
    if (device.unplugged) return ReadResult::Gone;
    if (!device.toHost.empty() && device.toHost.front().first <= Clock::now()) break;
    const auto next = device.toHost.empty() ? deadline : std::min(deadline, device.toHost.front().first);
    if (Clock::now() >= deadline) return ReadResult::Timeout;
    Changed().wait_until(lock, next);
  }
  const Bytes frame = std::move(device.toHost.front().second);
  device.toHost.pop_front();
  length = std::min(capacity, static_cast<int>(frame.size()));
  std::copy_n(frame.begin(), length, data);
  return ReadResult::Ok;
}

}  // namespace fakeusb
