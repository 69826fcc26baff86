#pragma once
// Hexadecimal for the tests' own literal bytes; spaces are for reading only.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace testsupport {

inline std::vector<std::uint8_t> Hex(std::string_view text) {
  std::string digits;
  for (char c : text) digits += c == ' ' ? "" : std::string(1, c);
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < digits.size(); i += 2) bytes.push_back(std::stoi(digits.substr(i, 2), nullptr, 16));
  return bytes;
}

inline std::string HexOf(std::span<const std::uint8_t> bytes) {
  std::string text;
  for (auto b : bytes) text += {"0123456789ABCDEF"[b >> 4], "0123456789ABCDEF"[b & 15]};
  return text;
}

}  // namespace testsupport
