#include "CodeTables.h"

#include <array>
#include <optional>
#include <utility>

#include "Hex.h"
#include "StationTables.h"

namespace vocab {
namespace {

// Exactly two upper-case hexadecimal digits, as the card byte is written;
// anything else has no table index.
std::optional<unsigned> StationIndex(std::string_view code) {
  if (code.size() != 2) return std::nullopt;
  unsigned value = 0;
  for (char c : code) {
    const int digit = hex::DigitValue(c);
    if (digit < 0 || (c >= 'a' && c <= 'f')) return std::nullopt;
    value = value * 16 + static_cast<unsigned>(digit);
  }
  return value;  // at most 0xFF
}

}  // namespace

std::string QAVO_GetStationName(std::string_view strLineCode, std::string_view strStationCode) {
  const StationTable* table = StationTableFor(strLineCode);
  const auto index = StationIndex(strStationCode);
  if (table && index && !(*table)[*index].empty()) return std::string((*table)[*index]);
  return std::string(kPlaceholderStationName);
}

std::string QAVO_GetKindName(std::string_view strKindCode) {
  // Tried in this order; codes are compared as exact, case-sensitive text.
  static constexpr std::pair<std::string_view, std::string_view> kKinds[] = {
      {"0000", "地下鉄乗車"}, {"000C", "地下鉄降車"}, {"008C", "地下鉄降車"}, {"050C", "自販機購入"},
      {"0002", "定期券乗車"}, {"0006", "定期券降車"}, {"0114", "チャージ　"}, {"011C", "チャージ　"},
      {"0B8C", "電車乗降車"}, {"090C", "店舗購入　"},
  };
  for (const auto& [code, name] : kKinds) {
    if (code == strKindCode) return std::string(name);
  }
  std::string undefined(kUndefinedName);
  undefined += strKindCode;
  return undefined;
}

std::string QAVO_GetLineName(std::uint8_t bytLineCode) {
  switch (bytLineCode) {
    case 0x01: return "入金機";
    case 0x05: return "自販機";
    case 0x09: return "店舗　";
    case 0x86: return "南北線";
    case 0x87: return "東西線";
    case 0x88: return "東豊線";
    default: return std::string(kUndefinedName);
  }
}

}  // namespace vocab
