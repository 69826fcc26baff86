#pragma once
// A card image: the card's IDm, PMm, systems, services and blocks, read
// from a FeliCa JSON export (as phone apps write them), plus simulation
// settings under one extra key that other programs ignore:
//
//   "readerSimulation": {
//     "maxBlocksPerRead": 12,        blocks the card accepts in one read (1..15)
//     "silentAboveLimit": false,     above it: no answer instead of status A2
//     "noCard": false,               nothing in the field
//     "removeAfterCommands": 3,      the card leaves after answering 3 commands
//     "responseDelayMs": 500,        the card answers reads this late
//     "answerIdm": "0102..."         reads are answered with this IDm
//   }

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Bytes.h"

namespace sim {

using Block = std::array<std::uint8_t, 16>;

struct Service {
  std::vector<Block> blocks;
};

struct System {
  std::map<std::uint16_t, Service> services;  // by service code
};

struct SimulationSettings {
  int maxBlocksPerRead = 15;
  bool silentAboveLimit = false;
  bool noCard = false;
  std::optional<int> removeAfterCommands;
  int responseDelayMs = 0;
  std::optional<felica::Idm> answerIdm;
};

struct CardImage {
  felica::Idm idm{};
  felica::Pmm pmm{};
  std::vector<std::pair<std::uint16_t, System>> systems;  // in the order of the image
  SimulationSettings settings;
};

struct LoadResult {
  std::optional<CardImage> image;
  std::string error;  // what is wrong, when there is no image
};

LoadResult ParseCardImage(std::string_view json);
LoadResult LoadCardImage(const std::string& path);

}  // namespace sim
