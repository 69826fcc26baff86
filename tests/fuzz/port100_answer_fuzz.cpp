// Any bytes as what an RC-S380 sends: frames, and InCommRF results.
#include <cstddef>
#include <cstdint>
#include <span>

#include "Port100Frame.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  const auto frame = port100::DecodeFrame(input);
  if (frame.kind == port100::FrameKind::Data && frame.data.size() + 10 > size) __builtin_trap();
  if (frame.kind == port100::FrameKind::Data && frame.data.size() >= 2) {
    if (auto card = port100::ParseInCommRfResult(std::span(frame.data).subspan(2)); card && card->size() > size)
      __builtin_trap();
  }
  (void)port100::ParseInCommRfResult(input);
  return 0;
}
