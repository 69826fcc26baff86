#pragma once
// Chooses and opens the reader that FELICA_READER names:
//   sim:PATH            the simulated card of a card image
//   pcsc[:NAME]         a PC/SC reader
//   port100             an RC-S380 over USB
//   libnfc[:CONNSTRING] a PN53x reader through libnfc
// Unset or empty: each hardware driver in turn; never a simulated card.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "Transport.h"

namespace reader {

struct OpenResult {
  std::unique_ptr<Transport> transport;
  std::int32_t rwError = 0;  // when there is no transport
  std::string diagnostic;    // what went wrong, for one diagnostic line
};

// A hardware driver: opens its reader; `argument` is what follows the colon.
struct Driver {
  const char* name;
  OpenResult (*open)(std::string_view argument);
};

// The drivers this build has, in the order auto mode tries them.
std::span<const Driver> HardwareDrivers();

OpenResult OpenReader(const char* felicaReader);

// Tests put an emulated reader in place of a hardware driver of that name.
void ReplaceDriverForTesting(const Driver& replacement);

}  // namespace reader
