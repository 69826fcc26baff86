#pragma once
// The readers this build can drive, and the choice among them that
// FELICA_READER makes:
//   sim:PATH            the simulated card of a card image
//   pcsc[:NAME]         a PC/SC reader
//   port100             an RC-S380 over USB
//   libnfc[:CONNSTRING] a PN53x reader through libnfc
// Unset or empty: each hardware driver in turn; never a simulated card.

#include <span>
#include <string_view>

#include "Transport.h"

namespace usb {
class Listing;
}

namespace reader {

struct Driver {
  const char* name;
  bool hardware;  // tried, in table order, when FELICA_READER does not choose
  // `argument` is what follows the colon; `usb`, the one listing of the bus that all drivers of an open share.
  OpenResult (*open)(std::string_view argument, usb::Listing& usb);
};

// sim, then the hardware drivers in the order auto mode tries them.
std::span<const Driver> DefaultDrivers();

OpenResult OpenReader(std::string_view choice, std::span<const Driver> drivers);

}  // namespace reader
