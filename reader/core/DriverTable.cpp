#include "DriverTable.h"

#include <string>

#include "LibnfcTransport.h"
#include "PcscTransport.h"
#include "Port100Transport.h"
#include "SimTransport.h"
#include "Timeouts.h"
#include "UsbDevices.h"

namespace reader {
namespace {

constexpr Driver kDrivers[] = {
    {"sim", false, [](std::string_view argument, usb::Listing&) { return sim::Open(argument); }},
    {"port100", true, port100::Open},
    {"pcsc", true, [](std::string_view argument, usb::Listing&) { return ccid::Open(argument); }},
    {"libnfc", true, pn53x::Open},
};

// The first reader that opens and holds a card it can read; failing that,
// the first reader that opens at all, so that polling can say there is no card.
OpenResult OpenFirstHardware(std::span<const Driver> drivers, usb::Listing& usb) {
  std::string tried;
  ErrorKind kind = ErrorKind::NoReader;
  std::unique_ptr<Transport> waiting;
  for (const Driver& driver : drivers) {
    if (!driver.hardware) continue;
    auto opened = driver.open({}, usb);
    if (opened && (*opened)->HasReadableCard(kPollingTimeout)) return opened;
    if (opened) {
      if (!waiting) waiting = std::move(*opened);
      continue;
    }
    if (opened.error().kind == ErrorKind::ReaderAccess) kind = ErrorKind::ReaderAccess;  // the more useful news
    if (!tried.empty()) tried += "; ";
    tried += std::string(driver.name) + ": " + opened.error().detail;
  }
  if (waiting) return waiting;
  return Fail(kind, "no reader found (" + tried + ")");
}

}  // namespace

std::span<const Driver> DefaultDrivers() { return kDrivers; }

OpenResult OpenReader(std::string_view choice, std::span<const Driver> drivers) {
  usb::Listing usb;
  if (choice.empty()) return OpenFirstHardware(drivers, usb);
  const auto colon = choice.find(':');
  const std::string_view kind = choice.substr(0, colon);
  const std::string_view argument = colon == std::string_view::npos ? std::string_view{} : choice.substr(colon + 1);
  for (const Driver& driver : drivers) {
    if (kind == driver.name) return driver.open(argument, usb);
  }
  return Fail(ErrorKind::BadConfiguration, "FELICA_READER=" + std::string(choice) +
                                               ": expected sim:PATH, pcsc[:NAME], port100 or libnfc[:CONNSTRING]");
}

}  // namespace reader
