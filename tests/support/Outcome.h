#pragma once
// A result as text for comparisons: what `show` makes of the value, or the error's kind by name.

#include "Expected.h"

namespace testsupport {

template <typename T, typename Show>
std::string Outcome(const reader::Expected<T>& result, Show show) {
  if (result) return show(*result);
  const char* kinds[] = {"NotInitialized", "NotOpen",         "NoReader",        "ReaderAccess", "NoCard",
                         "Timeout",        "Transmission",    "CardLost",        "CardSwapped",  "BadResponse",
                         "CardError",      "InvalidArgument", "BadConfiguration"};
  return kinds[static_cast<int>(result.error().kind)];
}

}  // namespace testsupport
