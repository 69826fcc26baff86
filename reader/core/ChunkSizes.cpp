#include "ChunkSizes.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace reader {
namespace {

struct ReadLimit {
  std::uint8_t icCode;  // PMm byte 1
  int blocks;
};

// Read-block limits by IC code, as the chip makers publish them.
constexpr ReadLimit kReadLimits[] = {
    {0x00, 8},                                       // RC-S830
    {0x01, 12}, {0x08, 12}, {0x09, 12}, {0x0C, 12},  // RC-S915, RC-S952/953/954
    {0x0D, 12}, {0x20, 12},                          // RC-S960, RC-S962
    {0x02, 1},  {0x0B, 1},  {0x32, 1},  {0x35, 1},   // chips that read one block a command
    {0xF0, 4},  {0xF1, 4},  {0xF2, 4},               // FeliCa Lite family
};

}  // namespace

int InitialChunkSize(const Pmm& pmm) {
  const auto limit = std::find_if(std::begin(kReadLimits), std::end(kReadLimits),
                                  [&](const ReadLimit& known) { return known.icCode == pmm[1]; });
  return limit == std::end(kReadLimits) ? 12 : limit->blocks;
}

int SmallerChunkSize(int blocks) {
  for (int size : {12, 8, 4, 1}) {
    if (size < blocks) return size;
  }
  return 0;
}

}  // namespace reader
