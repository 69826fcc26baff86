#pragma once
// Fixed-width Japanese names for the codes stored on the card.
// Every station name is 11 characters (21 display columns), every kind
// name 10 columns, so history lines built from them line up.

#include <cstdint>
#include <string>
#include <string_view>

namespace vocab {

// Shown where a line/station pair has no name.
inline constexpr std::string_view kPlaceholderStationName = "------/------　　　　";
inline constexpr std::string_view kUndefinedName = "未定義";

// strLineCode and strStationCode are the two hexadecimal digits of the card
// bytes (e.g. "86", "3E"). Unknown pairs, and station codes that are not
// exactly two upper-case hexadecimal digits, give the placeholder name.
std::string QAVO_GetStationName(std::string_view strLineCode, std::string_view strStationCode);

// strKindCode is four hexadecimal digits of two card bytes, compared as text.
std::string QAVO_GetKindName(std::string_view strKindCode);

// bytLineCode is the value of the line byte itself (134 for line code "86").
std::string QAVO_GetLineName(std::uint8_t bytLineCode);

}  // namespace vocab
