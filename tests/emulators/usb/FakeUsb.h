#pragma once
// A USB bus answered from here instead of the kernel: libusb-1.0 and libusb-0.1 in the test process, linked ahead
// of the real libraries (libfelica_for_vb.so and libnfc reach these devices through their own USB code), and
// libusb-1.0 in the tests' pcscd (for libccid). With USB's timing: a bulk read waits until its frame is due or its
// timeout runs out, and an OUT transfer of whole packets is not complete until a short (or empty) packet ends it.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "emulators/FelicaCard.h"

namespace fakeusb {

using Clock = std::chrono::steady_clock;
using emulator::Bytes;

class Device {
 public:
  Device(std::uint16_t vendor, std::uint16_t product, std::string name, std::uint8_t endpointIn,
         std::uint8_t endpointOut);
  virtual ~Device() = default;

  // A whole transfer from the host to the OUT endpoint.
  virtual void Received(const Bytes& transfer) = 0;
  // What the host reads, from `after` on; frames stay until read, also across opens, as a real device keeps them.
  void Queue(Bytes frame, Clock::duration after = {});
  // The host abandons a command: what the device has not sent yet never comes.
  void DropPending();

  const std::uint16_t vendor, product;
  const std::string name;
  const std::uint8_t endpointIn, endpointOut;
  std::uint8_t bus = 1, address = 0;  // set when plugged in

  // The interface's class (CCID: 0B, with its 54-byte class descriptor), and an interrupt pipe if any.
  std::uint8_t interfaceClass = 0xFF;
  Bytes classDescriptor;
  std::uint8_t endpointInterrupt = 0;
  std::uint16_t bcdDevice = 0x0100;
  void Notify(Bytes message, Clock::duration after = {});  // on the interrupt pipe
  std::deque<std::pair<Clock::time_point, Bytes>> interrupts;

  // What stands between a program and the device.
  bool noPermission = false;  // the node is not the user's
  bool kernelDriver = false;  // a kernel driver is bound to interface 0
  bool canDetach = true;      // libusb can take it from the kernel driver
  bool heldByOther = false;   // another program has claimed it
  bool unplugged = false;
  bool unplugsAtClaim = false;           // between libusb_open and the claim
  bool unreadableConfiguration = false;  // its descriptor cannot be read
  int takesAtMost = 1 << 30;             // bytes of one OUT transfer; it NAKs the rest until the host gives up

  std::vector<Bytes> writes;  // every OUT transfer, the empty ones too

  // The bus's own bookkeeping.
  std::deque<std::pair<Clock::time_point, Bytes>> toHost;
  Bytes partialOut;
  const void* claimedBy = nullptr;  // the handle that holds interface 0; closing it lets go
  bool detached = false;
};

// Everything on the bus happens under this lock; a change wakes whoever waits (libccid's threads in pcscd).
std::recursive_mutex& Lock();
std::condition_variable_any& Changed();

void Plug(std::shared_ptr<Device> device);  // the next free address on bus 1
void UnplugAll();

// The bus's side of a transfer, shared by both libraries' calls.
bool Write(Device& device, const std::uint8_t* data, int length);  // false: gone
enum class ReadResult { Ok, Timeout, Gone };
ReadResult Read(Device& device, std::uint8_t* data, int capacity, int& length, int timeoutMs);
std::vector<Device*> Plugged();
inline int listings = 0;  // of the bus through libusb-1.0, for tests that count them

}  // namespace fakeusb
