#pragma once
// Card images built in code for the reader tests.

#include <string>

#include "CardImage.h"

namespace testcards {

// Block k of service s reads as bytes (s_low, k, k, ...): easy to check.
inline sim::Block PatternBlock(std::uint16_t service, int k) {
  sim::Block block;
  block.fill(static_cast<std::uint8_t>(k));
  block[0] = static_cast<std::uint8_t>(service & 0xFF);
  return block;
}

inline sim::CardImage Card(int maxBlocksPerRead, std::uint8_t icCode = 0xFF) {
  sim::CardImage image;
  image.idm = {0x01, 0x12, 0x04, 0x1E, 0x5A, 0x3C, 0x7D, 0x01};
  image.pmm = {0x01, icCode, 0x22, 0x04, 0x27, 0x67, 0x4E, 0xFF};
  sim::System system;
  const std::pair<std::uint16_t, int> services[] = {{0x020B, 3}, {0x0417, 2}, {0x060F, 20}};
  for (const auto& [code, blocks] : services) {
    for (int k = 0; k < blocks; ++k) system.services[code].blocks.push_back(PatternBlock(code, k));
  }
  image.systems.emplace_back(0x000B, std::move(system));
  image.settings.maxBlocksPerRead = maxBlocksPerRead;
  return image;
}

// The same card as FeliCa JSON, with optional simulation settings.
std::string CardJson(const sim::CardImage& image, const std::string& settingsJson = "");

}  // namespace testcards
