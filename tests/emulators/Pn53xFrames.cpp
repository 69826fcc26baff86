#include "emulators/Pn53xFrames.h"

#include <algorithm>
#include <numeric>

namespace emulator {
namespace {

std::uint8_t Negated(std::span<const std::uint8_t> bytes) {
  return static_cast<std::uint8_t>(0x100 - std::accumulate(bytes.begin(), bytes.end(), 0u) % 256);
}

}  // namespace

Bytes Pn53xFrame(const Bytes& data) {
  Bytes frame{0x00, 0x00, 0xFF};
  if (data.size() > 254) {
    const std::uint8_t length[] = {static_cast<std::uint8_t>(data.size() >> 8),
                                   static_cast<std::uint8_t>(data.size() & 0xFF)};
    Append(frame, std::array<std::uint8_t, 5>{0xFF, 0xFF, length[0], length[1], Negated(length)});
  } else {
    frame.push_back(static_cast<std::uint8_t>(data.size()));
    frame.push_back(static_cast<std::uint8_t>(0x100 - data.size()));
  }
  Append(frame, data);
  frame.push_back(Negated(data));
  frame.push_back(0x00);
  return frame;
}

std::vector<HostFrame> TakeHostFrames(Bytes& input) {
  std::vector<HostFrame> frames;
  const std::uint8_t preamble[] = {0x00, 0x00, 0xFF};
  for (;;) {
    input.erase(input.begin(), std::search(input.begin(), input.end(), std::begin(preamble), std::end(preamble)));
    if (input.size() < 6) return frames;
    if (input[3] == 0x00 && input[4] == 0xFF && input[5] == 0x00) {
      frames.push_back({HostFrame::Kind::Ack, {}});
      input.erase(input.begin(), input.begin() + 6);
      continue;
    }
    if (input[3] == 0xFF && input[4] == 0x00 && input[5] == 0x00) {
      frames.push_back({HostFrame::Kind::Nack, {}});
      input.erase(input.begin(), input.begin() + 6);
      continue;
    }
    const bool extended = input[3] == 0xFF && input[4] == 0xFF;
    if (extended && input.size() < 8) return frames;
    const std::size_t header = extended ? 8 : 5;
    const std::size_t length = extended ? (input[5] << 8 | input[6]) : input[3];
    const bool lengthOk = extended ? Negated(std::span(input).subspan(5, 2)) == input[7]
                                   : static_cast<std::uint8_t>(input[3] + input[4]) == 0;
    if (!lengthOk) {
      frames.push_back({HostFrame::Kind::Broken, {}});
      input.erase(input.begin(), input.begin() + 3);
      continue;
    }
    if (input.size() < header + length + 2) return frames;
    const Bytes data(input.begin() + static_cast<std::ptrdiff_t>(header),
                     input.begin() + static_cast<std::ptrdiff_t>(header + length));
    const bool intact = Negated(data) == input[header + length] && input[header + length + 1] == 0x00 &&
                        data.size() >= 2 && data[0] == 0xD4;
    input.erase(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(header + length + 2));
    if (intact) {
      frames.push_back({HostFrame::Kind::Command, Bytes(data.begin() + 1, data.end())});
    } else {
      frames.push_back({HostFrame::Kind::Broken, {}});
    }
  }
}

}  // namespace emulator
