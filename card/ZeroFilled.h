#pragma once
// Records go to the reader library zero-filled, padding included.

#include <cstring>
#include <type_traits>

namespace card {

template <typename Record>
Record ZeroFilled() {
  static_assert(std::is_trivially_copyable_v<Record>);
  Record record;
  std::memset(&record, 0, sizeof record);
  return record;
}

}  // namespace card
