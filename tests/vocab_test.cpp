#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "CodeTables.h"
#include "support/DisplayWidth.h"

using testsupport::CodePoints;
using testsupport::DisplayColumns;
using vocab::QAVO_GetKindName;
using vocab::QAVO_GetLineName;
using vocab::QAVO_GetStationName;

namespace {

constexpr const char* kPlaceholder = "------/------　　　　";

struct StationCase {
  const char* line;
  const char* station;
  const char* expected;
};

void PrintTo(const StationCase& c, std::ostream* os) { *os << c.line << "/" << c.station; }

class StationNameTest : public testing::TestWithParam<StationCase> {};

TEST_P(StationNameTest, GivesTheTableText) {
  const auto& c = GetParam();
  EXPECT_EQ(QAVO_GetStationName(c.line, c.station), c.expected) << c.line << " " << c.station;
}

INSTANTIATE_TEST_SUITE_P(
    Tables, StationNameTest,
    testing::Values(
        StationCase{"86", "34", "南北線/麻生　　　　　"}, StationCase{"86", "35", kPlaceholder},
        StationCase{"86", "3E", "南北線/さっぽろ　　　"}, StationCase{"86", "52", "南北線/真駒内　　　　"},
        StationCase{"86", "41", kPlaceholder},
        StationCase{"87", "42", "東西線/バスセンター前"}, StationCase{"87", "30", "東西線/宮の沢　　　　"},
        StationCase{"87", "54", "東西線/新さっぽろ　　"}, StationCase{"87", "4C", "東西線/南郷１３丁目　"},
        StationCase{"88", "FF", "電車　/　　　　　　　"}, StationCase{"86", "FF", kPlaceholder},
        StationCase{"87", "FF", kPlaceholder}, StationCase{"88", "32", "東豊線/栄町　　　　　"},
        StationCase{"88", "4C", "東豊線/福住　　　　　"}, StationCase{"88", "42", "東豊線/豊水すすきの　"},
        StationCase{"01", "01", "入金機/　　　　　　　"}, StationCase{"01", "11", "入金機/福住南口　　　"},
        StationCase{"01", "05", "入金機/新さっぽろ南口"}, StationCase{"01", "00", kPlaceholder},
        StationCase{"01", "12", kPlaceholder}, StationCase{"05", "02", "自販機/大通駅東口　　"},
        StationCase{"05", "08", "自販機/　　　　　　　"}, StationCase{"05", "09", kPlaceholder},
        StationCase{"09", "01", "店舗　/スカイルーム　"}, StationCase{"09", "02", kPlaceholder},
        // Line codes compare as exact text.
        StationCase{"99", "34", kPlaceholder}, StationCase{"086", "34", kPlaceholder},
        StationCase{"86 ", "34", kPlaceholder}, StationCase{"", "34", kPlaceholder},
        // Station codes outside two upper-case hexadecimal digits.
        StationCase{"86", "", kPlaceholder}, StationCase{"86", "3e", kPlaceholder},
        StationCase{"86", "034", kPlaceholder}, StationCase{"86", "G1", kPlaceholder},
        StationCase{"86", "100", kPlaceholder}, StationCase{"86", "4", kPlaceholder}));

TEST(StationNames, CountsPerLineMatchTheTables) {
  const std::pair<const char*, int> lines[] = {{"86", 16}, {"87", 19}, {"88", 15},
                                               {"01", 17}, {"05", 8},  {"09", 1}};
  for (const auto& [line, expected] : lines) {
    int named = 0;
    for (int code = 0; code < 256; ++code) {
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02X", code);
      if (QAVO_GetStationName(line, hex) != kPlaceholder) ++named;
    }
    EXPECT_EQ(named, expected) << "line " << line;
  }
}

TEST(StationNames, EveryNameIsElevenCharactersAndTwentyOneColumns) {
  for (const char* line : {"86", "87", "88", "01", "05", "09", "00"}) {
    for (int code = 0; code < 256; ++code) {
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02X", code);
      const std::string name = QAVO_GetStationName(line, hex);
      EXPECT_EQ(DisplayColumns(name), 21) << line << " " << hex;
      if (name != kPlaceholder) {
        const auto chars = CodePoints(name);
        ASSERT_EQ(chars.size(), 11u) << line << " " << hex;
        EXPECT_EQ(chars[3], U'/');
      }
    }
  }
  EXPECT_EQ(CodePoints(kPlaceholder).size(), 17u);
}

TEST(KindAndLineNames, CompareCodesAsTextAndFallBackToUndefined) {
  EXPECT_EQ(QAVO_GetKindName("008C"), QAVO_GetKindName("000C"));
  EXPECT_EQ(QAVO_GetKindName("011C"), QAVO_GetKindName("0114"));
  EXPECT_EQ(QAVO_GetKindName("0114"), "チャージ　");
  EXPECT_EQ(QAVO_GetKindName("0A0C"), "未定義0A0C");
  EXPECT_EQ(QAVO_GetKindName("000c"), "未定義000c");
  EXPECT_EQ(QAVO_GetKindName(""), "未定義");
  for (const char* code : {"0000", "000C", "008C", "050C", "0002", "0006", "0114", "011C", "0B8C", "090C", "FFFF"}) {
    EXPECT_EQ(DisplayColumns(QAVO_GetKindName(code)), 10) << code;
  }
  EXPECT_EQ(QAVO_GetLineName(134), "南北線");
  EXPECT_EQ(QAVO_GetLineName(9), "店舗　");
  for (int value : {0, 2, 255}) EXPECT_EQ(QAVO_GetLineName(static_cast<std::uint8_t>(value)), "未定義") << value;
}

}  // namespace
