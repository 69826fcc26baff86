// The reader session against a card in a test reader's field: reads split
// into as few commands as the card takes, and failures that say what happened.
#include <gtest/gtest.h>

#include "ReaderSession.h"
#include "emulators/FelicaCard.h"

namespace {

using emulator::AcceptsAtMost;
using emulator::CardFaults;
using emulator::FelicaCard;
using reader::ErrorKind;

// A card of three services whose block k of service s reads (s low byte, 0, ..., 0, k).
emulator::CardContent PatternCard(std::uint8_t icCode, std::uint8_t lastIdmByte = 0x01) {
  emulator::CardContent card;
  card.idm = {0x01, 0x12, 0x04, 0x1E, 0x5A, 0x3C, 0x7D, lastIdmByte};
  card.pmm = {0x01, icCode, 0x22, 0x04, 0x27, 0x67, 0x4E, 0xFF};
  for (const auto& [code, count] : {std::pair<std::uint16_t, int>{0x020B, 3}, {0x0417, 2}, {0x060F, 20}}) {
    for (int k = 0; k < count; ++k)
      card.services[code].push_back(
          {static_cast<std::uint8_t>(code), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, static_cast<std::uint8_t>(k)});
  }
  return card;
}

// The field of a test reader: the card in it answers, silence is a timeout,
// polling fails when told to. It notes the block count of every read.
struct Field : reader::Transport {
  std::string_view Name() const override { return "field"; }
  reader::Expected<reader::Bytes> Exchange(std::span<const std::uint8_t> frame, std::chrono::milliseconds) override {
    if (frame[1] == 0x06) reads.push_back(frame[13]);  // the count follows one service code
    if (frame[1] == 0x00 && pollingFails) return reader::Unexpected(*pollingFails);
    auto answer = card ? card->Answer(frame) : std::nullopt;
    if (!answer) return reader::Fail(ErrorKind::Timeout);
    return *answer;
  }
  std::shared_ptr<FelicaCard> card;
  std::vector<int> reads;
  std::optional<reader::Error> pollingFails;
};

reader::ReadRequest Blocks(std::uint16_t service, int count) {
  reader::ReadRequest request{PatternCard(0).idm, {service}, {}};
  for (int k = 0; k < count; ++k) request.blocks.push_back({{0x80, static_cast<std::uint8_t>(k)}, 2});
  return request;
}

std::vector<int> Ones(std::vector<int> before) { return before.insert(before.end(), 20, 1), before; }

struct ReadCase {
  const char* name;
  std::uint8_t icCode;  // PMm byte 1: where the session starts
  CardFaults faults;
  std::uint16_t service;
  std::vector<int> reads;  // block counts of the read commands for 20 blocks
  int kept;                // the size the next read starts at
  std::optional<ErrorKind> fails = {};
  char afterPolling = 0;  // 's': another card takes its place; 'r': the reader fails at polling
};

TEST(Session, TwentyBlocksInAsFewCommandsAsTheCardTakesOrAFailureThatSaysWhy) {
  const ReadCase cases[] = {
      {"unknown chip starts at 12", 0xFF, {}, 0x060F, {12, 8}, 12},
      {"RC-S830 starts at 8", 0x00, AcceptsAtMost(8), 0x060F, {8, 8, 4}, 8},
      {"Lite starts at 4", 0xF0, AcceptsAtMost(4), 0x060F, {4, 4, 4, 4, 4}, 4},
      {"one-block chip", 0x02, AcceptsAtMost(1), 0x060F, Ones({}), 1},
      {"refused twice", 0xFF, AcceptsAtMost(4), 0x060F, {12, 8, 4, 4, 4, 4, 4}, 4},
      {"down to one", 0xFF, AcceptsAtMost(1), 0x060F, Ones({12, 8, 4}), 1},
      {"silent above the limit", 0xFF, AcceptsAtMost(8, true), 0x060F, {12, 8, 8, 4}, 8},
      {"leaves after the first chunk", 0xFF, emulator::LeavesAfter(2), 0x060F, {12, 8}, 0, ErrorKind::CardLost},
      {"never answers a read", 0xFF, AcceptsAtMost(0, true), 0x060F, {12, 8, 4, 1}, 0, ErrorKind::Timeout},
      {"another card answers", 0xFF, {}, 0x060F, {12}, 0, ErrorKind::CardSwapped, 's'},
      {"reader fails at the presence check", 0xFF, AcceptsAtMost(0, true), 0x060F, {12}, 0, ErrorKind::NoReader, 'r'},
      {"service the card lacks", 0xFF, {}, 0x1234, {12}, 0, ErrorKind::CardError}};
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto owned = std::make_unique<Field>();
    Field& field = *owned;
    field.card = std::make_shared<FelicaCard>(PatternCard(c.icCode), c.faults);
    reader::ReaderSession session{std::move(owned)};
    ASSERT_TRUE(session.Poll({{0x00, 0x0B}, 0, 0}));
    if (c.afterPolling == 's') field.card = std::make_shared<FelicaCard>(PatternCard(0xFF, 0x99));
    if (c.afterPolling == 'r') field.pollingFails = reader::Error{ErrorKind::NoReader, "reader unplugged"};
    const auto result = session.Read(Blocks(c.service, 20));
    EXPECT_EQ(field.reads, c.reads);
    if (c.fails) {
      EXPECT_EQ(result ? std::nullopt : std::optional(result.error().kind), c.fails);
      continue;
    }
    ASSERT_TRUE(result) << static_cast<int>(result.error().kind);
    ASSERT_EQ(result->blockData.size(), 320u);
    for (int k = 0; k < 20; ++k) EXPECT_EQ(result->blockData[16 * k + 15], k);
    field.reads.clear();  // the size that worked is kept for the session
    ASSERT_TRUE(session.Read(Blocks(c.service, 20)));
    EXPECT_EQ(field.reads.front(), c.kept);
  }
}

TEST(Session, PollingFindsOnlyTheSystemAskedForAndReadsNeedItFirst) {
  auto owned = std::make_unique<Field>();
  Field& field = *owned;
  field.card = std::make_shared<FelicaCard>(PatternCard(0xFF));
  reader::ReaderSession session(std::move(owned));
  EXPECT_EQ(session.Read(Blocks(0x020B, 1)).error().kind, ErrorKind::NoCard);
  EXPECT_EQ(session.Poll({{0x12, 0xFC}, 0, 0}).error().kind, ErrorKind::NoCard);
  EXPECT_TRUE(session.Poll({{0xFF, 0xFF}, 0, 0}));
}

}  // namespace
