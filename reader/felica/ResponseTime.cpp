#include "ResponseTime.h"

namespace reader {

std::chrono::microseconds ReadResponseTime(const Pmm& pmm, int blocks) {
  const int a = pmm[5] & 7;
  const int b = pmm[5] >> 3 & 7;
  const int e = pmm[5] >> 6;
  return std::chrono::microseconds(302L * ((b + 1) * blocks + a + 1) * (1L << (2 * e)));
}

}  // namespace reader
