// Any text as a card image: refused with a reason, or loaded whole; and a loaded one answers any frame as a card would.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "CardImage.h"
#include "SimulatedCard.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto image = sim::ParseCardImage(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!image) {
    if (image.error().detail.empty()) __builtin_trap();
    return 0;
  }
  if (image->systems.empty()) __builtin_trap();
  sim::SimulatedCard card(std::move(*image));
  const std::uint8_t polling[] = {6, 0x00, 0xFF, 0xFF, 0x00, 0x00};
  const std::uint8_t read[] = {16,   0x06, 0x01, 0x12, 0x04, 0x1E, 0x5A, 0x3C,
                               0x7D, 0x01, 0x01, 0x0F, 0x06, 0x01, 0x80, 0x00};
  (void)card.Answer(polling);
  if (auto answer = card.Answer(read); answer && (answer->empty() || answer->size() > 255)) __builtin_trap();
  return 0;
}
