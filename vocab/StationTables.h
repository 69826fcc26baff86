#pragma once
// The per-line station tables: 256 entries each, indexed by station code.

#include <array>
#include <string_view>

namespace vocab {

using StationTable = std::array<std::string_view, 256>;  // empty view = no name

// The table for a line code, or nullptr when the line code has none.
// Line codes are compared as exact text.
const StationTable* StationTableFor(std::string_view lineCode);

}  // namespace vocab
