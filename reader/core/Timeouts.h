#pragma once
// How long a card may take to answer, bounded so that no command can hold
// the window long.

#include <chrono>

#include "Bytes.h"

namespace reader {

// Maximum response time of a read of `blocks` blocks, from PMm byte 5
// (T = 0.302 ms x ((B + 1) x n + A + 1) x 4^E), with a margin.
std::chrono::milliseconds ReadTimeout(const Pmm& pmm, int blocks);

inline constexpr std::chrono::milliseconds kPollingTimeout{60};

}  // namespace reader
