#pragma once
// How many blocks one Read Without Encryption may ask for.

#include "Bytes.h"

namespace reader {

// The largest size worth trying first for this card, from the IC code in
// PMm byte 1 (known chips), else 12, which most cards accept.
int InitialChunkSize(const Pmm& pmm);

// The next size to try below `blocks` (12, 8, 4, 1), or 0 when `blocks` is already 1.
int SmallerChunkSize(int blocks);

}  // namespace reader
