#pragma once
// Bytes as upper-case hexadecimal text, two characters a byte, high digit first.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace card {

std::string HexText(std::span<const std::uint8_t> bytes);

}  // namespace card
