#pragma once
// A FeliCa card in an emulated reader's field, written from the FeliCa
// command reference: Polling and Read Without Encryption, with the faults a
// test asks for. It shares no code with the library it tests.

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace emulator {

using Bytes = std::vector<std::uint8_t>;
using Block = std::array<std::uint8_t, 16>;

// Byte by byte: GCC 12 warns falsely when a few bytes are inserted into a short vector.
inline void Append(Bytes& out, std::span<const std::uint8_t> bytes) {
  for (std::uint8_t b : bytes) out.push_back(b);
}

struct CardContent {
  std::array<std::uint8_t, 8> idm{};
  std::array<std::uint8_t, 8> pmm{};
  std::uint16_t systemCode = 0x000B;
  std::map<std::uint16_t, std::vector<Block>> services;  // blocks from 0
};

// The first system of a sample image in samples/ (tagId, pMm, blocksMap).
CardContent SampleCard(const std::string& fileName);

struct CardFaults {
  int maxBlocksPerRead = 15;  // more blocks: status A2, or silence
  bool silentAboveLimit = false;
  std::optional<int> leaveAfterCommands;  // the card leaves the field after answering this many
};

inline CardFaults AcceptsAtMost(int blocks, bool silentAbove = false) {
  return {.maxBlocksPerRead = blocks, .silentAboveLimit = silentAbove, .leaveAfterCommands = {}};
}
inline CardFaults LeavesAfter(int commands) { return {.leaveAfterCommands = commands}; }

class FelicaCard {
 public:
  explicit FelicaCard(CardContent content, CardFaults faults = {});

  // The card's answer, or nullopt when it stays silent.
  std::optional<Bytes> Answer(std::span<const std::uint8_t> frame);
  // The answer, when the reader still listens after the card's time for it;
  // a card takes the longest its PMm allows (byte 5 for reads:
  // 0.302 ms x ((B + 1) x blocks + A + 1) x 4^E; polling: the slot's end).
  std::optional<Bytes> AnswerWithin(std::span<const std::uint8_t> frame, std::chrono::microseconds listening);
  std::chrono::microseconds TimeFor(std::span<const std::uint8_t> frame) const;
  bool Present() const { return !faults_.leaveAfterCommands || answered_ < *faults_.leaveAfterCommands; }
  const CardContent& Content() const { return content_; }
  const CardFaults& Faults() const { return faults_; }

 private:
  std::optional<Bytes> Read(std::span<const std::uint8_t> frame);

  CardContent content_;
  CardFaults faults_;
  int answered_ = 0;
};

}  // namespace emulator
