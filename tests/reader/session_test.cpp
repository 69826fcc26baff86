// Block reads split into as few commands as the card accepts, and failures
// that say what happened, through the simulated card.
#include <gtest/gtest.h>

#include <chrono>

#include "ReaderSession.h"
#include "SimTransport.h"
#include "support/TestCards.h"

namespace {

using namespace std::chrono;
using reader::Failure;
using reader::ReaderSession;

// Forwards to the simulated reader and remembers the block count of each read.
class RecordingTransport : public reader::Transport {
 public:
  RecordingTransport(sim::CardImage image, std::vector<int>& reads) : inner_(std::move(image)), reads_(reads) {}
  std::string_view Name() const override { return "recording"; }
  reader::TransportResult Exchange(std::span<const std::uint8_t> frame, milliseconds timeout) override {
    if (frame.size() > 1 && frame[1] == felica::kReadWithoutEncryptionCommand) {
      reads_.push_back(frame[13]);  // the block count follows one service code
    }
    return inner_.Exchange(frame, timeout);
  }

 private:
  sim::SimTransport inner_;
  std::vector<int>& reads_;
};

std::vector<felica::BlockListElement> Blocks(int count) {
  std::vector<std::uint8_t> list;
  for (int k = 0; k < count; ++k) list.insert(list.end(), {0x80, static_cast<std::uint8_t>(k)});
  return *felica::ParseBlockList(list.data(), count, 1);
}

class SessionTest : public testing::Test {
 protected:
  void Open(sim::CardImage image) {
    idm = image.idm;
    session = std::make_unique<ReaderSession>(std::make_unique<RecordingTransport>(std::move(image), reads));
  }
  bool Poll() {
    felica::PollingAnswer answer;
    return session->Poll(0x00, 0x0B, 0, answer, failure);
  }
  bool Read(std::uint16_t service, int count) {
    const std::uint8_t list[] = {static_cast<std::uint8_t>(service & 0xFF), static_cast<std::uint8_t>(service >> 8)};
    return session->Read(idm, list, 1, Blocks(count), result, failure);
  }

  felica::Idm idm{};
  std::vector<int> reads;
  std::unique_ptr<ReaderSession> session;
  ReaderSession::ReadResult result;
  Failure failure;
};

struct SplitCase {
  int limit;
  bool silentAboveLimit;
  std::uint8_t icCode;
  std::vector<int> expectedReads;  // block counts of the read commands for 20 blocks
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << "limit " << c.limit << (c.silentAboveLimit ? ", silent" : ""); }

class SplitTest : public SessionTest, public testing::WithParamInterface<SplitCase> {};

TEST_P(SplitTest, TwentyBlocksArriveInOrderInAsFewCommandsAsTheCardTakes) {
  auto image = testcards::Card(GetParam().limit, GetParam().icCode);
  image.settings.silentAboveLimit = GetParam().silentAboveLimit;
  Open(image);
  ASSERT_TRUE(Poll());
  ASSERT_TRUE(Read(0x060F, 20)) << failure.rwError;
  ASSERT_EQ(result.blockData.size(), 320u);
  for (int k = 0; k < 20; ++k) {
    EXPECT_EQ(result.blockData[16 * k], 0x0F);
    EXPECT_EQ(result.blockData[16 * k + 1], k);
  }
  EXPECT_EQ(reads, GetParam().expectedReads);
}

INSTANTIATE_TEST_SUITE_P(
    Limits, SplitTest,
    testing::Values(SplitCase{15, false, 0xFF, {12, 8}},                // unknown chip: starts at 12
                    SplitCase{12, false, 0x20, {12, 8}},                // RC-S962 hint
                    SplitCase{8, false, 0x00, {8, 8, 4}},               // RC-S830 hint: no refusal
                    SplitCase{8, false, 0xFF, {12, 8, 8, 4}},           // A2 at 12, then 8 kept
                    SplitCase{4, false, 0xFF, {12, 8, 4, 4, 4, 4, 4}},  // two refusals
                    SplitCase{1, false, 0x02, std::vector<int>(20, 1)},  // RC-S919 hint
                    SplitCase{1, false, 0xFF, [] {
                                std::vector<int> v{12, 8, 4};
                                v.insert(v.end(), 20, 1);
                                return v;
                              }()},
                    SplitCase{8, true, 0xFF, {12, 8, 8, 4}}));  // silence above the limit: timeout, step down

TEST_F(SessionTest, TheSizeThatWorkedIsKeptForTheSession) {
  Open(testcards::Card(4));
  ASSERT_TRUE(Poll());
  ASSERT_TRUE(Read(0x060F, 20));  // 12 and 8 refused, 4 works
  reads.clear();
  ASSERT_TRUE(Read(0x060F, 20));
  EXPECT_EQ(reads, (std::vector<int>{4, 4, 4, 4, 4}));
  EXPECT_EQ(session->ChunkSize(), 4);
}

TEST_F(SessionTest, CardRemovedBetweenTwoChunksIsCardLost) {
  auto image = testcards::Card(12, 0x20);
  image.settings.removeAfterCommands = 2;  // polling and the first chunk
  Open(image);
  ASSERT_TRUE(Poll());
  EXPECT_FALSE(Read(0x060F, 20));
  EXPECT_EQ(failure.rwError, FELICA_RW_CARD_LOST);
  EXPECT_EQ(reads, (std::vector<int>{12, 8}));  // no step-down once the card is known gone
}

TEST_F(SessionTest, AnotherCardAnsweringIsCardSwapped) {
  auto image = testcards::Card(12);
  image.settings.answerIdm = felica::Idm{9, 9, 9, 9, 9, 9, 9, 9};
  Open(image);
  ASSERT_TRUE(Poll());
  EXPECT_FALSE(Read(0x020B, 3));
  EXPECT_EQ(failure.rwError, FELICA_RW_CARD_SWAPPED);
}

TEST_F(SessionTest, SlowCardTimesOutWithinABound) {
  auto image = testcards::Card(12, 0x20);
  image.settings.responseDelayMs = 2000;
  Open(image);
  ASSERT_TRUE(Poll());
  const auto start = steady_clock::now();
  EXPECT_FALSE(Read(0x060F, 20));
  EXPECT_LT(steady_clock::now() - start, milliseconds(500));
  EXPECT_EQ(failure.rwError, FELICA_RW_TIMEOUT);
  EXPECT_EQ(reads, (std::vector<int>{12, 8, 4, 1}));
}

TEST_F(SessionTest, NoCardMeansPollingFailsQuickly) {
  auto image = testcards::Card(12);
  image.settings.noCard = true;
  Open(image);
  const auto start = steady_clock::now();
  EXPECT_FALSE(Poll());
  EXPECT_LT(steady_clock::now() - start, milliseconds(200));
  EXPECT_EQ(failure.rwError, FELICA_RW_NO_CARD);
}

TEST_F(SessionTest, CardErrorsCarryTheStatusFlags) {
  Open(testcards::Card(12));
  ASSERT_TRUE(Poll());
  EXPECT_FALSE(Read(0x1234, 1));  // a service the card lacks
  EXPECT_EQ(failure.rwError, FELICA_RW_CARD_ERROR);
  EXPECT_EQ(failure.FelicaErrorType(), 0x01A6);
  EXPECT_FALSE(Read(0x0417, 3));  // block 2 is past the end of the purse
  EXPECT_EQ(failure.FelicaErrorType(), 0x01A8);
}

TEST_F(SessionTest, ReadBeforePollingFails) {
  Open(testcards::Card(12));
  EXPECT_FALSE(Read(0x020B, 1));
  EXPECT_EQ(failure.rwError, FELICA_RW_NO_CARD);
  EXPECT_TRUE(reads.empty());
}

TEST_F(SessionTest, PollingForASystemTheCardLacksFindsNoCard) {
  Open(testcards::Card(12));
  felica::PollingAnswer answer;
  EXPECT_FALSE(session->Poll(0x12, 0xFC, 0, answer, failure));
  EXPECT_EQ(failure.rwError, FELICA_RW_NO_CARD);
  EXPECT_TRUE(session->Poll(0xFF, 0xFF, 0, answer, failure));  // wildcard
  EXPECT_TRUE(session->Poll(0x00, 0xFF, 0, answer, failure));
}

}  // namespace
