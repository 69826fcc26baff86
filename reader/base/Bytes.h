#pragma once
// Byte buffers, the card's identifiers, and hexadecimal text.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace reader {

using Bytes = std::vector<std::uint8_t>;
using Idm = std::array<std::uint8_t, 8>;
using Pmm = std::array<std::uint8_t, 8>;

// Hexadecimal digits in either case, two a byte, nothing else; nullopt otherwise.
std::optional<Bytes> ParseHex(std::string_view text);

}  // namespace reader
