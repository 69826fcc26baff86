#include <gtest/gtest.h>

#include <string>

#include "BlockReader.h"
#include "FeliCa.h"
#include "standin/ScriptedLibrary.h"
#include "support/DiagnosticCapture.h"

namespace {

using standin::Block;

Block Fill(std::uint8_t first) {
  Block block;
  for (int n = 0; n < 16; ++n) block[n] = static_cast<std::uint8_t>(first + n);
  return block;
}

class CardAccessTest : public testing::Test {
 protected:
  void SetUp() override {
    standin::Script script;
    for (int k = 0; k < 20; ++k) script.services[0x060F].push_back(Fill(static_cast<std::uint8_t>(k * 16)));
    script.services[0x020B] = {Fill(0xA0), Fill(0xB0), Fill(0xC0), Fill(0xD0)};
    standin::Reset(script);
  }

  std::string Read(std::uint16_t service, std::int16_t blocks) {
    std::vector<std::uint8_t> list{static_cast<std::uint8_t>(service & 0xFF), static_cast<std::uint8_t>(service >> 8)};
    return card::QAVOVext(idm, list, blocks, [this](std::string_view m) { message = std::string(m); });
  }

  std::vector<std::uint8_t> idm{0x01, 0x2E, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99};
  std::string message = "unchanged";
  testsupport::DiagnosticCapture capture{[this] { return message; }};
};

TEST_F(CardAccessTest, ThreeBlocksGive642CharactersWithZerosAfterThem) {
  const std::string text = Read(0x020B, 3);
  ASSERT_EQ(text.size(), 642u);
  EXPECT_EQ(text.substr(0, 32), "A0A1A2A3A4A5A6A7A8A9AAABACADAEAF");
  EXPECT_EQ(text.substr(64, 32), "C0C1C2C3C4C5C6C7C8C9CACBCCCDCECF");
  EXPECT_EQ(text.substr(96), std::string(546, '0'));
  EXPECT_EQ(message, "unchanged");
}

TEST_F(CardAccessTest, TwentyBlocksFillAllButTheExtraByte) {
  const std::string text = Read(0x060F, 20);
  ASSERT_EQ(text.size(), 642u);
  EXPECT_EQ(text.substr(0, 4), "0001");
  EXPECT_EQ(text.substr(32 * 19, 32), "303132333435363738393A3B3C3D3E3F");  // bytes of block 19 wrap at 0x130
  EXPECT_EQ(text.substr(640), "00");
}

TEST_F(CardAccessTest, BytesAreTwoUpperCaseHexDigits) {
  standin::Current().services[0x0417] = {Block{0x00, 0x0A, 0xA0, 0xFF}};
  EXPECT_EQ(Read(0x0417, 1).substr(0, 10), "000AA0FF00");
}

TEST_F(CardAccessTest, EveryReadPassesTheSameZeroFilledRecords) {
  Read(0x060F, 20);
  Read(0x020B, 2);  // a smaller read after a larger one carries nothing over
  const auto& calls = standin::Calls();
  ASSERT_EQ(calls.size(), 2u);
  std::vector<std::uint8_t> expectedList;
  for (int k = 0; k < 20; ++k) expectedList.insert(expectedList.end(), {0x80, static_cast<std::uint8_t>(k)});
  for (const auto& call : calls) {
    EXPECT_EQ(call.blockList, expectedList);
    EXPECT_EQ(call.idm, idm);
    EXPECT_EQ(call.numberOfServices, 1);
    EXPECT_TRUE(call.blockDataZeroBefore);
    EXPECT_EQ(call.responseAreasBefore, (std::array<std::uint8_t, 3>{0, 0, 1}));
  }
  EXPECT_EQ(calls[0].serviceCode, 0x060F);
  EXPECT_EQ(calls[0].numberOfBlocks, 20);
  EXPECT_EQ(calls[1].serviceCode, 0x020B);
  EXPECT_EQ(calls[1].numberOfBlocks, 2);
}

TEST_F(CardAccessTest, SecondReadCarriesNothingOfTheFirst) {
  Read(0x060F, 20);
  EXPECT_EQ(Read(0x020B, 1).substr(32), std::string(610, '0'));
}

TEST_F(CardAccessTest, SuccessWithNonZeroStatusFlagsStillReturnsTheData) {
  standin::Current().statusFlag1 = 0xFF;
  standin::Current().statusFlag2 = 0xA2;
  EXPECT_EQ(Read(0x020B, 1).substr(0, 2), "A0");
  EXPECT_EQ(message, "unchanged");
}

TEST_F(CardAccessTest, FailedReadRunsTheFailureReportInOrder) {
  standin::Current().failingService = 0x0417;
  standin::Current().felicaErrorType = -3;
  standin::Current().rwErrorType = 7;
  EXPECT_EQ(Read(0x0417, 2), "");
  EXPECT_EQ(message, "読み込みエラーです。");
  EXPECT_EQ(standin::CallNames(),
            (std::vector<std::string>{"read_block_without_encryption", "get_last_error_types", "diagnostic",
                                      "diagnostic", "close_reader_writer", "dispose_library"}));
  // The message is already shown when the report runs.
  EXPECT_EQ(testsupport::DiagnosticLines(),
            (std::vector<std::string>{"felica error type: -3 | 読み込みエラーです。", "rw error type: 7 | 読み込みエラーです。"}));
}

struct RefusedCase {
  std::size_t idmSize;
  std::size_t listSize;
  std::int16_t blocks;
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << "IDm " << c.idmSize << ", list " << c.listSize << ", blocks " << c.blocks; }

class RefusedReadTest : public CardAccessTest, public testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedReadTest, NeverReachesTheLibraryAndEndsTheCycle) {
  std::vector<std::uint8_t> badIdm(GetParam().idmSize, 0x11);
  std::vector<std::uint8_t> list(GetParam().listSize, 0x0B);
  const std::string text =
      card::QAVOVext(badIdm, list, GetParam().blocks, [this](std::string_view m) { message = std::string(m); });
  EXPECT_EQ(text, "");
  EXPECT_EQ(message, "読み込みエラーです。");
  EXPECT_EQ(standin::CallNames(), (std::vector<std::string>{"diagnostic", "get_last_error_types", "diagnostic",
                                                            "diagnostic", "close_reader_writer", "dispose_library"}));
}

INSTANTIATE_TEST_SUITE_P(BadArguments, RefusedReadTest,
                         testing::Values(RefusedCase{7, 2, 3}, RefusedCase{9, 2, 3}, RefusedCase{0, 2, 3},
                                         RefusedCase{8, 1, 3}, RefusedCase{8, 0, 3}, RefusedCase{8, 2, 0},
                                         RefusedCase{8, 2, 21}, RefusedCase{8, 2, -1}));

TEST(WriteDiagnostic, MessageAndValue) {
  standin::Reset({});
  testsupport::DiagnosticCapture capture;
  FeliCa::WriteDiagnostic("Can't close reader writer.", "");
  FeliCa::WriteDiagnostic("felica error type: ", 0);
  FeliCa::WriteDiagnostic("rw error type: ", -42);
  FeliCa::WriteDiagnostic("rw error type: ", 2147483647);
  FeliCa::WriteDiagnostic("text: ", "abc");
  EXPECT_EQ(testsupport::DiagnosticLines(),
            (std::vector<std::string>{"Can't close reader writer.", "felica error type: 0", "rw error type: -42",
                                      "rw error type: 2147483647", "text: abc"}));
}

}  // namespace
