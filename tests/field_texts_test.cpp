#include <gtest/gtest.h>

#include "FieldTexts.h"
#include "support/DisplayWidth.h"

namespace {

using namespace app;

TEST(AmountText, FiveDigitsAtLeastGroupedByThree) {
  const std::pair<unsigned, const char*> cases[] = {
      {0, "00,000"},     {5, "00,005"},     {200, "00,200"},   {1000, "01,000"},  {1234, "01,234"},
      {32767, "32,767"}, {32768, "32,768"}, {65535, "65,535"}, {10000, "10,000"}, {999, "00,999"}};
  for (const auto& [value, expected] : cases) {
    EXPECT_EQ(AmountText(static_cast<std::uint16_t>(value)), expected) << value;
  }
}

TEST(LE16, FirstByteIsTheLowByte) {
  EXPECT_EQ(LE16("3412", 0), 4660);
  EXPECT_EQ(LE16("E803", 0), 1000);
  EXPECT_EQ(LE16("0000FFFF", 2), 65535);
  EXPECT_EQ(LE16("0080", 0), 32768);
}

TEST(PassTexts, WorkedExamples) {
  //                      0 1 2 3 4 5 6 7 8 9 ...
  EXPECT_EQ(PassDateText("FFFFFFFFFFFF20040401FFFFFFFFFFFF"), "定期券発券日：2004年04月01日");
  EXPECT_EQ(PassAreaText("863E8742000000000000000000000000"),
            "定期券区間　：南北線/さっぽろ　　　～東西線/バスセンター前");
  EXPECT_EQ(PassLimitText("00000000200404012004093000000000"),
            "定期券期間　：2004年04月01日～2004年09月30日");
}

TEST(PassTexts, BytesNotShownChangeNothingAndDigitsAreNotChecked) {
  EXPECT_EQ(PassDateText("00000000000020041A01000000000000"), PassDateText("ABCDEF12345620041A01999999999999"));
  EXPECT_EQ(PassDateText("00000000000020041A01000000000000"), "定期券発券日：2004年1A月01日");
  EXPECT_EQ(PassAreaText("86418634000000000000000000000000"),
            "定期券区間　：------/------　　　　～南北線/麻生　　　　　");
}

TEST(PurseTexts, ChargeLeftAndDebt) {
  EXPECT_EQ(ChargeLeftText("3412000000000000000000000000FFFF"), "チャージ残高：04,660円");
  EXPECT_EQ(ChargeLeftText("E8030000000000000000000000000000"), "チャージ残高：01,000円");
  EXPECT_EQ(DebtText("E8030000000000000000000000000000"), "不足金額　　：00,000円");
  EXPECT_EQ(DebtText("00000000000000000000000078560000"), "不足金額　　：22,136円");
}

TEST(HistoryParts, IndexTextIsRightAlignedInThreeWithFullWidthColon) {
  EXPECT_EQ(HistoryIndexText(0), "  0：");
  EXPECT_EQ(HistoryIndexText(9), "  9：");
  EXPECT_EQ(HistoryIndexText(10), " 10：");
  EXPECT_EQ(HistoryIndexText(19), " 19：");
  for (int i = 0; i < 20; ++i) {
    const auto chars = testsupport::CodePoints(HistoryIndexText(i));
    ASSERT_EQ(chars.size(), 4u);
    EXPECT_EQ(chars[3], U'：');
    EXPECT_EQ(testsupport::DisplayColumns(HistoryIndexText(i)), 5);
  }
}

std::string Line(int i, std::string_view block) {
  return HistoryIndexText(i) + HistoryKindAndStation(block) + HistoryDateTime(block) + HistoryAmountUsed(block) +
         HistoryBalance(block);
}

TEST(HistoryParts, WorkedExampleLine3) {
  const std::string line = Line(3, "000C86401234200407010815C800E803");
  EXPECT_EQ(line, "  3：地下鉄降車/南北線/大通　　　　　/2004年07月01日08:15/使用 00,200円/残高 01,000円");
  EXPECT_EQ(testsupport::CodePoints(line).size(), 60u);
}

TEST(HistoryParts, EdgeBlocks) {
  EXPECT_EQ(Line(0, "00000000000000000000000000000000"),
            "  0：地下鉄乗車/------/------　　　　/0000年00月00日00:00/使用 00,000円/残高 00,000円");
  EXPECT_EQ(Line(12, "0A0C8641000020041A3125610000FFFF"),
            " 12：未定義0A0C/------/------　　　　/2004年1A月31日25:61/使用 00,000円/残高 65,535円");
  // Bytes 4-5 are not shown.
  EXPECT_EQ(Line(1, "0114010400002004070108150000E803"), Line(1, "011401049999200407010815" "0000E803"));
}

TEST(HistoryParts, LinesLineUpInColumns) {
  const char* blocks[] = {"000C86401234200407010815C800E803", "0A0C8641000020041A3125610000FFFF",
                          "090C09010000200406300930FFFF0000", "0B8C88FF000020040601000000000000"};
  int i = 0;
  for (const char* block : blocks) {
    EXPECT_EQ(testsupport::DisplayColumns(Line(i, block)), testsupport::DisplayColumns(Line(0, blocks[0])))
        << block;
    i += 9;
  }
}

}  // namespace
