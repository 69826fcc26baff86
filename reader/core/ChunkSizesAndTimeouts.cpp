#include "ChunkSizesAndTimeouts.h"

#include <algorithm>

#include "ResponseTime.h"

namespace reader {

int InitialChunkSize(const Pmm& pmm) {
  // Read-block limits by IC code, as the chip makers publish them.
  switch (pmm[1]) {
    case 0x00: return 8;  // RC-S830
    case 0x01:
    case 0x08:
    case 0x09:
    case 0x0C:  // RC-S915, RC-S952/953/954
    case 0x0D:
    case 0x20: return 12;  // RC-S960, RC-S962
    case 0x02:
    case 0x0B:
    case 0x32:
    case 0x35: return 1;
    case 0xF0:
    case 0xF1:
    case 0xF2: return 4;  // FeliCa Lite family
    default: return 12;
  }
}

int SmallerChunkSize(int blocks) {
  for (int size : {12, 8, 4, 1}) {
    if (size < blocks) return size;
  }
  return 0;
}

std::chrono::milliseconds ReadTimeout(const Pmm& pmm, int blocks) {
  const auto cardMs = std::chrono::ceil<std::chrono::milliseconds>(ReadResponseTime(pmm, blocks)).count();
  const long total = cardMs + 40;  // margin for the card and the reader's RF timing
  return std::chrono::milliseconds(std::clamp(total, 40L, 250L));
}

}  // namespace reader
