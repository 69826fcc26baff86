#pragma once
// How many blocks one Read Without Encryption may ask for, and how long a
// card may take to answer.

#include <chrono>

#include "Bytes.h"

namespace reader {

// The largest size worth trying first for this card, from the IC code in
// PMm byte 1 (known chips), else 12, which most cards accept.
int InitialChunkSize(const Pmm& pmm);

// The next size to try below `blocks` (12, 8, 4, 1), or 0 when `blocks` is already 1.
int SmallerChunkSize(int blocks);

// Maximum response time of a read of `blocks` blocks, from PMm byte 5
// (T = 0.302 ms x ((B + 1) x n + A + 1) x 4^E), with a margin, bounded so
// that no command can hold the window long.
std::chrono::milliseconds ReadTimeout(const Pmm& pmm, int blocks);

inline constexpr std::chrono::milliseconds kPollingTimeout{60};

}  // namespace reader
