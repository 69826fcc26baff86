#pragma once
// Every way a card reaches the library, as a user's desk has it: a rig puts a card (or none) in its reader, through
// the third-party code a user runs (libusb, libnfc's USB and serial drivers, pcscd with libccid); FELICA_READER set.

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "emulators/FelicaCard.h"
#include "paths/PcscdRig.h"

namespace rigs {

struct Rig {
  std::string name;
  std::function<void(std::shared_ptr<emulator::FelicaCard>)> attach;  // nullptr: the field is empty
};
inline void PrintTo(const Rig& rig, std::ostream* os) { *os << rig.name; }

// The simulated reader (playing the demo card's image with the card's faults), the RC-S380, libnfc's RC-S360,
// PN533, ACR122U and PN532 on a serial line.
std::vector<Rig> LocalRigs();
// The RC-S300 (by transmit, and one that takes the session only by escape), a plain transparent-session reader,
// the ACR122U and the ACR1252U through the tests' pcscd and libccid.
std::vector<Rig> PcscRigs();
// Started at the first call (libccid's escape allowed unless asked otherwise), again when asked for the other.
Pcscd& TestPcscd(std::optional<bool> escapeAllowed = std::nullopt);
// The demo card in `model` (nullptr: no card anywhere); FELICA_READER=pcsc.
void PlaceInPcscReader(emulator::PcscModel model, const std::shared_ptr<emulator::FelicaCard>& card);

}  // namespace rigs
