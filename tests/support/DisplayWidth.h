#pragma once
// Characters and display columns of UTF-8 text as a monospaced Japanese face
// shows it: ASCII takes one column, everything else (all full-width here) two.

#include <string_view>

namespace testsupport {

inline int Characters(std::string_view utf8) {
  int count = 0;
  for (unsigned char c : utf8) count += (c & 0xC0) != 0x80;
  return count;
}

inline int DisplayColumns(std::string_view utf8) {
  int columns = 0;
  for (unsigned char c : utf8) columns += c < 0x80 ? 1 : (c & 0xC0) == 0xC0 ? 2 : 0;
  return columns;
}

}  // namespace testsupport
