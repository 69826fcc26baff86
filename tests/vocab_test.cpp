#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "CodeTables.h"
#include "support/DisplayWidth.h"

namespace {

using testsupport::DisplayColumns;
using vocab::QAVO_GetKindName;
using vocab::QAVO_GetLineName;
using vocab::QAVO_GetStationName;

constexpr const char* kPlaceholder = "------/------　　　　";

TEST(StationNames, FirstLastAndMissingEntriesOfEveryTable) {
  // Line codes compare as exact text; station codes are two upper-case hexadecimal digits.
  // clang-format off
  const char* cases[][3] = {
      {"86", "34", "南北線/麻生　　　　　"}, {"86", "52", "南北線/真駒内　　　　"}, {"86", "35", kPlaceholder},
      {"87", "30", "東西線/宮の沢　　　　"}, {"87", "54", "東西線/新さっぽろ　　"}, {"87", "42", "東西線/バスセンター前"},
      {"88", "32", "東豊線/栄町　　　　　"}, {"88", "4C", "東豊線/福住　　　　　"}, {"88", "FF", "電車　/　　　　　　　"},
      {"86", "FF", kPlaceholder}, {"01", "01", "入金機/　　　　　　　"}, {"01", "11", "入金機/福住南口　　　"},
      {"01", "00", kPlaceholder}, {"05", "02", "自販機/大通駅東口　　"}, {"05", "08", "自販機/　　　　　　　"},
      {"09", "01", "店舗　/スカイルーム　"}, {"09", "02", kPlaceholder}, {"086", "34", kPlaceholder},
      {"86 ", "34", kPlaceholder}, {"", "34", kPlaceholder}, {"86", "3e", kPlaceholder}, {"86", "034", kPlaceholder},
      {"86", "G1", kPlaceholder}, {"86", "4", kPlaceholder}, {"86", "", kPlaceholder}, {"86", "100", kPlaceholder},
      {"87", "4C", "東西線/南郷１３丁目　"}, {"88", "42", "東豊線/豊水すすきの　"}, {"01", "05", "入金機/新さっぽろ南口"},
      {"87", "FF", kPlaceholder}, {"01", "12", kPlaceholder}, {"05", "09", kPlaceholder}, {"99", "34", kPlaceholder}};
  // clang-format on
  for (const auto& [line, station, name] : cases)
    EXPECT_EQ(QAVO_GetStationName(line, station), name) << line << station;
}

TEST(StationNames, EveryNameIsElevenCharactersInTwentyOneColumnsAndTheTablesHoldTheirCount) {
  const std::pair<const char*, int> lines[] = {{"86", 16}, {"87", 19}, {"88", 15}, {"01", 17},
                                               {"05", 8},  {"09", 1},  {"00", 0}};
  for (const auto& [line, count] : lines) {
    int named = 0;
    for (int code = 0; code < 256; ++code) {
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02X", code);
      const std::string name = QAVO_GetStationName(line, hex);
      EXPECT_EQ(DisplayColumns(name), 21) << line << " " << hex;
      if (name == kPlaceholder) continue;
      ++named;
      EXPECT_EQ(testsupport::Characters(name), 11) << line << " " << hex;
      EXPECT_EQ(name.substr(9, 1), "/") << line << " " << hex;
    }
    EXPECT_EQ(named, count) << "line " << line;
  }
}

TEST(KindAndLineNames, CompareCodesAsTextAndFallBackToUndefined) {
  const char* kinds[][2] = {{"0000", "地下鉄乗車"}, {"000C", "地下鉄降車"}, {"008C", "地下鉄降車"},
                            {"050C", "自販機購入"}, {"0002", "定期券乗車"}, {"0006", "定期券降車"},
                            {"0114", "チャージ　"}, {"011C", "チャージ　"}, {"0B8C", "電車乗降車"},
                            {"090C", "店舗購入　"}, {"0A0C", "未定義0A0C"}, {"000c", "未定義000c"}};
  for (const auto& [code, name] : kinds) {
    EXPECT_EQ(QAVO_GetKindName(code), name) << code;
    EXPECT_EQ(DisplayColumns(name), 10) << code;
  }
  EXPECT_EQ(QAVO_GetKindName(""), "未定義");
  const std::pair<int, const char*> lines[] = {{0x86, "南北線"}, {0x87, "東西線"}, {0x88, "東豊線"}, {0x01, "入金機"},
                                               {0x05, "自販機"}, {0x09, "店舗　"}, {0x00, "未定義"}, {0xFF, "未定義"}};
  for (const auto& [code, name] : lines) EXPECT_EQ(QAVO_GetLineName(static_cast<std::uint8_t>(code)), name) << code;
}

}  // namespace
