// Any text as a card image: refused with a reason, or loaded whole.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "CardImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto loaded = sim::ParseCardImage(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!loaded.image && loaded.error.empty()) __builtin_trap();
  if (loaded.image && loaded.image->systems.empty()) __builtin_trap();
  return 0;
}
