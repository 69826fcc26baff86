#pragma once
// Characters and display columns of UTF-8 text, as a monospaced Japanese
// face shows them: ASCII and half-width katakana take one column, all else two.

#include <cstddef>
#include <string_view>
#include <vector>

namespace testsupport {

inline std::vector<char32_t> CodePoints(std::string_view utf8) {
  std::vector<char32_t> out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    const int length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    char32_t value = length == 1 ? c : c & (0xFF >> (length + 1));
    for (int k = 1; k < length && i + k < utf8.size(); ++k) {
      value = value << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    }
    out.push_back(value);
    i += static_cast<std::size_t>(length);
  }
  return out;
}

inline int DisplayColumns(std::string_view utf8) {
  int columns = 0;
  for (char32_t c : CodePoints(utf8)) columns += (c < 0x80 || (c >= 0xFF61 && c <= 0xFF9F)) ? 1 : 2;
  return columns;
}

}  // namespace testsupport
