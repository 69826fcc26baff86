#pragma once
// How long a card may take to answer a read, as its PMm states it.

#include <chrono>

#include "Bytes.h"

namespace reader {

// The maximum response time of Read Without Encryption for `blocks` blocks,
// from PMm byte 5 (bits E:2, B:3, A:3): 0.302 ms x ((B + 1) x blocks + A + 1) x 4^E.
std::chrono::microseconds ReadResponseTime(const Pmm& pmm, int blocks);

}  // namespace reader
