// The texts built from the card's blocks, beyond the worked examples that a
// whole press shows (read_operation_test): amounts, byte order, the bytes not
// shown, and columns that line up.
#include <gtest/gtest.h>

#include "FieldTexts.h"
#include "support/DisplayWidth.h"

namespace {

using namespace app;

std::string Line(int i, std::string_view block) {
  return HistoryIndexText(i) + HistoryKindAndStation(block) + HistoryDateTime(block) + HistoryAmountUsed(block) +
         HistoryBalance(block);
}

TEST(AmountText, FiveDigitsAtLeastGroupedByThree) {
  const std::pair<unsigned, const char*> cases[] = {
      {0, "00,000"},     {5, "00,005"},     {200, "00,200"},   {1000, "01,000"},  {1234, "01,234"},
      {32767, "32,767"}, {32768, "32,768"}, {65535, "65,535"}, {10000, "10,000"}, {999, "00,999"}};
  for (const auto& [value, expected] : cases) EXPECT_EQ(AmountText(static_cast<std::uint16_t>(value)), expected) << value;
  EXPECT_EQ(LE16("3412", 0), 4660);  // the first byte is the low byte
  EXPECT_EQ(LE16("0000FFFF", 2), 65535);
  EXPECT_EQ(DebtText("00000000000000000000000078560000"), "不足金額　　：22,136円");
}

TEST(FieldTexts, BytesNotShownChangeNothingAndDigitsAreNotChecked) {
  EXPECT_EQ(PassDateText("00000000000020041A01000000000000"), PassDateText("ABCDEF12345620041A01999999999999"));
  EXPECT_EQ(PassDateText("00000000000020041A01000000000000"), "定期券発券日：2004年1A月01日");
  EXPECT_EQ(PassLimitText("FFFFFFFF2004040120040930FFFFFFFF"), PassLimitText("000000002004040120040930AAAAAAAA"));
  EXPECT_EQ(PassAreaText("86418634000000000000000000000000"), "定期券区間　：------/------　　　　～南北線/麻生　　　　　");
  EXPECT_EQ(Line(1, "0114010499992004070108150000E803"), Line(1, "0114010400002004070108150000E803"));
}

TEST(HistoryLines, IndexTextsAndEveryPartStandInTheSameColumns) {
  EXPECT_EQ(HistoryIndexText(0), "  0：");
  EXPECT_EQ(HistoryIndexText(9), "  9：");
  EXPECT_EQ(HistoryIndexText(10), " 10：");
  EXPECT_EQ(HistoryIndexText(19), " 19：");
  const char* blocks[] = {"000C86401234200407010815C800E803", "0A0C8641000020041A3125610000FFFF",
                          "090C09010000200406300930FFFF0000", "0B8C88FF000020040601000000000000"};
  for (int i = 0; i < 20; ++i) {
    const auto chars = testsupport::CodePoints(HistoryIndexText(i));
    ASSERT_EQ(chars.size(), 4u);
    EXPECT_EQ(chars[3], U'：');
    EXPECT_EQ(testsupport::DisplayColumns(Line(i, blocks[i % 4])), testsupport::DisplayColumns(Line(0, blocks[0]))) << i;
  }
}

}  // namespace
