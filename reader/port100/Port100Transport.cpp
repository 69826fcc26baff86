#include "Port100Transport.h"

#include <optional>

#include "BulkPipes.h"
#include "ReaderIds.h"
#include "UsbDevices.h"

namespace port100 {
namespace {

using reader::ErrorKind;
using reader::Fail;

constexpr usb::Family kFamily{usb::kRcS380Ids, "the RC-S380", "port100", true};

reader::OpenResult OpenDevice(const usb::Bus& bus, const usb::Device& device) {
  auto claimed = bus.Claim(device, kFamily);
  if (!claimed) return reader::Unexpected(claimed.error());
  auto link = usb::PipesOf(std::move(*claimed), kFamily);
  if (!link) return reader::Unexpected(link.error());
  auto chip = std::make_unique<Port100Chip>(std::move(*link));
  if (auto ready = chip->Initialize(); !ready) {
    reader::Error error = ready.error();
    error.detail = "RC-S380: " + error.detail;
    return reader::Unexpected(std::move(error));
  }
  return std::make_unique<Port100Transport>(std::move(chip));
}

}  // namespace

reader::OpenResult Open(std::string_view argument, usb::Listing& usb) {
  if (!argument.empty()) return Fail(ErrorKind::BadConfiguration, "FELICA_READER=port100 takes no argument");
  auto bus = usb.Get();
  if (!bus) return reader::Unexpected(bus.error());
  const auto devices = (*bus)->Find(kFamily);
  if (devices.empty()) return Fail(ErrorKind::NoReader, "no RC-S380 on the USB");
  // A reader that cannot be used leaves the next one its chance; the first
  // failure is the one reported when none can.
  std::optional<reader::Error> first;
  for (const usb::Device& device : devices) {
    auto opened = OpenDevice(**bus, device);
    if (opened) return opened;
    if (!first) first = opened.error();
  }
  return reader::Unexpected(*first);
}

}  // namespace port100
