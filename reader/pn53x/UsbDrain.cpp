#include "UsbDrain.h"

#include <chrono>
#include <cstdio>

#include "BulkPipes.h"
#include "ReaderIds.h"
#include "UsbDevices.h"

namespace pn53x {
namespace {

using namespace std::chrono_literals;

// A PN53x chip's ACK frame from the host: abandon the command that runs.
constexpr std::uint8_t kPn53xAck[] = {0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00};

constexpr usb::Family kPn53x{usb::kPn53xUsbIds, "the RC-S330/360/370 (or PN533 reader)", "pn533_usb", false};
constexpr usb::Family kAcr122{usb::kAcr122UsbIds,
                              "the ACR122U (pcscd holds it when it runs: FELICA_READER=pcsc reads through it)",
                              "pn533_usb", false};

// "pn53x_usb:001:004" -> driver, and bus and device numbers where given (0: any).
struct UsbConnstring {
  std::string driver;
  int bus = 0;
  int device = 0;
};

UsbConnstring Split(const std::string& connstring) {
  UsbConnstring parts;
  const auto colon = connstring.find(':');
  parts.driver = connstring.substr(0, colon);
  if (colon != std::string::npos) std::sscanf(connstring.c_str() + colon + 1, "%d:%d", &parts.bus, &parts.device);
  return parts;
}

}  // namespace

bool DrainUsbDevice(const std::string& connstring, usb::Listing& usb) {
  const UsbConnstring target = Split(connstring);
  const bool pn53x = target.driver == "pn53x_usb";
  if (!pn53x && target.driver != "acr122_usb") return false;
  auto bus = usb.Get();
  if (!bus) return true;
  const usb::Family& family = pn53x ? kPn53x : kAcr122;
  for (const usb::Device& device : (*bus)->Find(family)) {
    if ((target.bus && target.bus != device.bus) || (target.device && target.device != device.address)) continue;
    auto claimed = (*bus)->Claim(device, family);
    if (!claimed) continue;  // libnfc will fail to claim it too, and the hint says why
    auto pipes = usb::PipesOf(std::move(*claimed), family);
    if (!pipes) continue;
    // A PN53x takes an ACK, which aborts a command still running; an ACR122U
    // speaks CCID and only has its answers read.
    if (pn53x) (*pipes)->BulkWrite(kPn53xAck, 100ms);
    (*pipes)->Drain();
  }
  return true;
}

std::string UsbAccessProblem(usb::Listing& usb) {
  auto bus = usb.Get();
  if (!bus) return {};
  std::string problem = (*bus)->AccessProblem(kPn53x);
  return problem.empty() ? (*bus)->AccessProblem(kAcr122) : problem;
}

}  // namespace pn53x
