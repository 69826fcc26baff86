#include "Timeouts.h"

#include <algorithm>

#include "ResponseTime.h"

namespace reader {

std::chrono::milliseconds ReadTimeout(const Pmm& pmm, int blocks) {
  const auto cardMs = std::chrono::ceil<std::chrono::milliseconds>(ReadResponseTime(pmm, blocks)).count();
  const long total = cardMs + 40;  // margin for the card and the reader's RF timing
  return std::chrono::milliseconds(std::clamp(total, 40L, 250L));
}

}  // namespace reader
