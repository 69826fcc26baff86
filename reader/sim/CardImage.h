#pragma once
// A card image: what a FeliCa dump knows of a card, read from the JSON that
// Metrodroid exports (format 3.0 with "blocks" lists, 3.1 with "blocksMap"),
// plus simulation settings under one extra key that other programs ignore:
//
//   "readerSimulation": {
//     "maxBlocksPerRead": 12,        blocks the card accepts in one read (1..15)
//     "silentAboveLimit": false,     above it: no answer instead of status A2
//     "noCard": false,               nothing in the field
//     "removeAfterCommands": 3,      the card leaves after answering 3 commands
//     "responseDelayMs": 500,        the card answers reads this late
//     "answerIdm": "0102..."         reads are answered with this IDm
//   }
//
// A dump may lack what the card holds: services that need a key and systems
// the phone did not read are marked skipped, block numbers may have gaps,
// and a read that was cut off is marked partial. The image keeps exactly
// what the dump holds and makes nothing up.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Bytes.h"
#include "Expected.h"

namespace sim {

using Block = std::array<std::uint8_t, 16>;

struct Service {
  bool skipped = false;                   // needs a key: the dump has no blocks
  std::map<std::uint16_t, Block> blocks;  // by block number
};

struct System {
  bool skipped = false;                       // not read at all
  std::map<std::uint16_t, Service> services;  // by service code
};

struct SimulationSettings {
  int maxBlocksPerRead = 15;
  bool silentAboveLimit = false;
  bool noCard = false;
  std::optional<int> removeAfterCommands;
  int responseDelayMs = 0;
  std::optional<reader::Idm> answerIdm;
};

// Taken when a dump has no PMm (phones that cannot read it write null): an
// unknown chip with the shortest response times.
inline constexpr reader::Pmm kDefaultPmm{0x00, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

struct CardImage {
  reader::Idm idm{};
  reader::Pmm pmm = kDefaultPmm;
  bool partialRead = false;                               // the dump was cut off
  std::vector<std::pair<std::uint16_t, System>> systems;  // in the order of their keys as text; polling finds the first
  SimulationSettings settings;
};

// BadConfiguration, with what is wrong, when the text is no usable image.
reader::Expected<CardImage> ParseCardImage(std::string_view json);
reader::Expected<CardImage> LoadCardImage(const std::string& path);

}  // namespace sim
