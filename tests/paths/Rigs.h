#pragma once
// Every way a card reaches the library, as a user's desk has it: a rig puts
// a card (or none) in its reader, through the third-party code a user runs
// (libusb, libnfc's USB and serial drivers, pcscd with vpcd), and points
// FELICA_READER at it.

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "emulators/FelicaCard.h"
#include "emulators/pcsc/PcscdFixture.h"

namespace rigs {

struct Rig {
  std::string name;
  // Puts the card in the reader (nullptr: the field is empty) and chooses the reader.
  std::function<void(std::shared_ptr<emulator::FelicaCard>)> attach;
};

inline void PrintTo(const Rig& rig, std::ostream* os) { *os << rig.name; }

// The simulated reader, the RC-S380, libnfc's RC-S360, PN533, ACR122U and PN532 on a serial line.
std::vector<Rig> LocalRigs();
// The RC-S300, a plain transparent-session reader, the ACR122U and the ACR1252U
// through a pcscd of the tests' own, started at the first of them.
std::vector<Rig> PcscRigs();

// The tests' own pcscd with vpcd's virtual reader, started at the first call.
emulator::Pcscd& TestPcscd();

// A card image for the simulated reader, with the card's faults as its settings.
std::string WriteSimImage(const emulator::CardContent& content, const emulator::CardFaults& faults);

}  // namespace rigs
