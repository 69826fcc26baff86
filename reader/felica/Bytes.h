#pragma once
// Byte buffers and their hexadecimal spelling.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace felica {

using Bytes = std::vector<std::uint8_t>;
using Idm = std::array<std::uint8_t, 8>;
using Pmm = std::array<std::uint8_t, 8>;

// Hex digits in either case, two per byte, nothing else; nullopt otherwise.
std::optional<Bytes> ParseHex(std::string_view text);

std::string ToHex(std::span<const std::uint8_t> bytes);

}  // namespace felica
