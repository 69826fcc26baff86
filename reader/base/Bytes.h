#pragma once
// Byte buffers and the card's identifiers.

#include <array>
#include <cstdint>
#include <vector>

namespace reader {

using Bytes = std::vector<std::uint8_t>;
using Idm = std::array<std::uint8_t, 8>;
using Pmm = std::array<std::uint8_t, 8>;

}  // namespace reader
