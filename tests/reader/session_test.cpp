// The reader session against a card in a test reader's field: reads split
// into as few commands as the card takes, and failures that say what happened.
#include <gtest/gtest.h>

#include "ReaderSession.h"
#include "emulators/FelicaCard.h"

namespace {

using emulator::CardContent;
using emulator::AcceptsAtMost;
using emulator::CardFaults;
using emulator::LeavesAfter;
using emulator::FelicaCard;
using reader::ErrorKind;

// A card of three services whose block k of service s reads (s low byte, k, k, ...).
CardContent PatternCard(std::uint8_t icCode) {
  CardContent card;
  card.idm = {0x01, 0x12, 0x04, 0x1E, 0x5A, 0x3C, 0x7D, 0x01};
  card.pmm = {0x01, icCode, 0x22, 0x04, 0x27, 0x67, 0x4E, 0xFF};
  for (const auto& [code, count] : {std::pair<std::uint16_t, int>{0x020B, 3}, {0x0417, 2}, {0x060F, 20}}) {
    for (int k = 0; k < count; ++k) {
      emulator::Block block;
      block.fill(static_cast<std::uint8_t>(k));
      block[0] = static_cast<std::uint8_t>(code & 0xFF);
      card.services[code].push_back(block);
    }
  }
  return card;
}

// The field of a test reader: what the card answers, silence as a timeout;
// it notes the block count of every read.
class Field : public reader::Transport {
 public:
  Field(std::shared_ptr<FelicaCard>& card, std::vector<int>& reads) : card_(card), reads_(reads) {}
  std::string_view Name() const override { return "field"; }
  reader::Expected<reader::Bytes> Exchange(std::span<const std::uint8_t> frame, std::chrono::milliseconds) override {
    if (frame[1] == 0x06) reads_.push_back(frame[13]);  // the count follows one service code
    auto answer = card_ ? card_->Answer(frame) : std::nullopt;
    if (!answer) return reader::Fail(ErrorKind::Timeout);
    return *answer;
  }

 private:
  std::shared_ptr<FelicaCard>& card_;
  std::vector<int>& reads_;
};

class SessionTest : public testing::Test {
 protected:
  void Place(std::uint8_t icCode, CardFaults faults = {}) {
    content = PatternCard(icCode);
    card = std::make_shared<FelicaCard>(content, faults);
  }
  reader::Expected<reader::PollingAnswer> Poll(std::uint8_t high = 0x00, std::uint8_t low = 0x0B) {
    return session.Poll({{high, low}, 0, 0});
  }
  reader::Expected<reader::ReadResult> Read(std::uint16_t service, int count) {
    reader::ReadRequest request{content.idm, {service}, {}};
    for (int k = 0; k < count; ++k) request.blocks.push_back({{0x80, static_cast<std::uint8_t>(k)}, 2});
    return session.Read(request);
  }

  CardContent content;
  std::shared_ptr<FelicaCard> card;
  std::vector<int> reads;
  reader::ReaderSession session{std::make_unique<Field>(card, reads)};
};

struct SplitCase {
  const char* name;
  std::uint8_t icCode;  // PMm byte 1: where the session starts
  CardFaults faults;
  std::vector<int> reads;  // block counts of the read commands for 20 blocks
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.name; }

class SplitTest : public SessionTest, public testing::WithParamInterface<SplitCase> {};

TEST_P(SplitTest, TwentyBlocksArriveInOrderInAsFewCommandsAsTheCardTakes) {
  Place(GetParam().icCode, GetParam().faults);
  ASSERT_TRUE(Poll());
  const auto result = Read(0x060F, 20);
  ASSERT_TRUE(result) << static_cast<int>(result.error().kind);
  ASSERT_EQ(result->blockData.size(), 320u);
  for (int k = 0; k < 20; ++k) {
    EXPECT_EQ(result->blockData[16 * k], 0x0F);
    EXPECT_EQ(result->blockData[16 * k + 1], k);
  }
  EXPECT_EQ(reads, GetParam().reads);
}

std::vector<int> Ones(std::vector<int> before) {
  before.insert(before.end(), 20, 1);
  return before;
}

INSTANTIATE_TEST_SUITE_P(
    Limits, SplitTest,
    testing::Values(SplitCase{"UnknownChipStartsAt12", 0xFF, {}, {12, 8}},
                    SplitCase{"Rcs830StartsAt8", 0x00, AcceptsAtMost(8), {8, 8, 4}},
                    SplitCase{"LiteStartsAt4", 0xF0, AcceptsAtMost(4), {4, 4, 4, 4, 4}},
                    SplitCase{"OneBlockChip", 0x02, AcceptsAtMost(1), Ones({})},
                    SplitCase{"RefusedAt12Then8Kept", 0xFF, AcceptsAtMost(8), {12, 8, 8, 4}},
                    SplitCase{"RefusedTwice", 0xFF, AcceptsAtMost(4), {12, 8, 4, 4, 4, 4, 4}},
                    SplitCase{"DownToOne", 0xFF, AcceptsAtMost(1), Ones({12, 8, 4})},
                    SplitCase{"SilentAboveTheLimit", 0xFF, AcceptsAtMost(8, true), {12, 8, 8, 4}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SessionTest, TheSizeThatWorkedIsKeptForTheSession) {
  Place(0xFF, AcceptsAtMost(4));
  ASSERT_TRUE(Poll());
  ASSERT_TRUE(Read(0x060F, 20));
  reads.clear();
  ASSERT_TRUE(Read(0x060F, 20));
  EXPECT_EQ(reads, (std::vector<int>{4, 4, 4, 4, 4}));
}

TEST_F(SessionTest, FailuresSayWhatHappened) {
  Place(0xFF, LeavesAfter(2));  // polling and the first chunk
  ASSERT_TRUE(Poll());
  EXPECT_EQ(Read(0x060F, 20).error().kind, ErrorKind::CardLost);
  EXPECT_EQ(reads, (std::vector<int>{12, 8}));  // no step down once the card is known gone

  Place(0xFF, AcceptsAtMost(0, true));  // answers polling, never a read
  ASSERT_TRUE(Poll());
  reads.clear();
  EXPECT_EQ(Read(0x060F, 20).error().kind, ErrorKind::Timeout);
  EXPECT_EQ(reads, (std::vector<int>{12, 8, 4, 1}));

  Place(0xFF);
  ASSERT_TRUE(Poll());
  auto other = PatternCard(0xFF);
  other.idm[7] = 0x99;
  card = std::make_shared<FelicaCard>(other);  // another card takes its place
  EXPECT_EQ(Read(0x020B, 3).error().kind, ErrorKind::CardSwapped);

  Place(0xFF);
  ASSERT_TRUE(Poll());
  const auto lacking = Read(0x1234, 1);  // a service the card does not have
  EXPECT_EQ(lacking.error().kind, ErrorKind::CardError);
  EXPECT_EQ(lacking.error().statusFlag1 << 8 | lacking.error().statusFlag2, 0x01A6);
  EXPECT_EQ(Read(0x0417, 3).error().statusFlag2, 0xA8);  // block 2 is past the purse's end
}

TEST_F(SessionTest, PollingFindsOnlyTheSystemAskedFor) {
  Place(0xFF);
  EXPECT_EQ(Read(0x020B, 1).error().kind, ErrorKind::NoCard);  // nothing polled yet
  EXPECT_EQ(Poll(0x12, 0xFC).error().kind, ErrorKind::NoCard);
  EXPECT_TRUE(Poll(0xFF, 0xFF));
  EXPECT_TRUE(Poll(0x00, 0xFF));
  card.reset();
  EXPECT_EQ(Poll().error().kind, ErrorKind::NoCard);
}

}  // namespace
