#pragma once
// Hexadecimal digits, shared by the program and the reader library: one
// parser for a digit, one writer for bytes.

#include <cstdint>
#include <span>
#include <string>

namespace hex {

// 0..15 for 0-9, A-F and a-f; -1 for anything else.
constexpr int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Appends each byte as two upper-case digits, high digit first.
inline void Append(std::string& text, std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  text.reserve(text.size() + 2 * bytes.size());
  for (std::uint8_t b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 0x0F];
  }
}

// A 16-bit value as four upper-case digits (a service code, a status word).
inline std::string Word(std::uint16_t value) {
  const std::uint8_t bytes[] = {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value & 0xFF)};
  std::string text;
  Append(text, bytes);
  return text;
}

}  // namespace hex
