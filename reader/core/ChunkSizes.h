#pragma once
// How many blocks one Read Without Encryption may ask for.

#include <chrono>
#include <cstdint>

#include "Bytes.h"

namespace reader {

// The sizes tried, largest first; a card that refuses one gets the next.
inline constexpr int kChunkSizes[] = {15, 12, 8, 4, 1};

// The largest size worth trying first for this card, from the IC code in
// PMm byte 1 (known chips), else 12, which most cards accept.
int InitialChunkSize(const felica::Pmm& pmm);

// The largest size below `blocks`, or 0 when `blocks` is already 1.
int SmallerChunkSize(int blocks);

// Maximum response time of a read of `blocks` blocks, from PMm byte 5
// (T = 0.302 ms x ((B + 1) x n + A + 1) x 4^E), plus the reader's own latency,
// bounded so that no command can hold the window long.
std::chrono::milliseconds ReadTimeout(const felica::Pmm& pmm, int blocks);

inline constexpr std::chrono::milliseconds kPollingTimeout{60};

}  // namespace reader
