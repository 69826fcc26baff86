#pragma once
// A trace a user can send: with FELICA_TRACE=1 in the environment, every
// frame, APDU and USB transfer the library exchanges is written to standard
// error, one line each, with its direction and the milliseconds since the
// first line. The card's IDm and every block's data are masked (** a byte);
// lengths and status flags stay.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace reader::trace {

enum class Direction { ToReader, FromReader };

bool Enabled();

// `channel` says what the bytes are: "usb", "apdu", "escape", "frame" (a
// FeliCa frame as the card gets or sends it). The first `secretBytes` are
// masked whatever they hold (an IDm outside a frame).
void Bytes(std::string_view channel, Direction direction, std::span<const std::uint8_t> bytes,
           std::size_t secretBytes = 0);

// The bytes in hexadecimal as a trace line shows them. Every FeliCa frame's
// IDm and block data are masked wherever a reader wraps the frame, and, once
// an IDm has been seen, every run of its 8 bytes on any line. Once a command
// has gone to the card, a buffer from the reader that holds no whole frame
// (a transfer cut part-way) is written as its length only: the pieces of a
// split answer show no block byte.
class Masker {
 public:
  std::string Masked(std::string_view channel, Direction direction, std::span<const std::uint8_t> bytes,
                     std::size_t secretBytes = 0);

 private:
  std::vector<std::array<std::uint8_t, 8>> idms_;
  bool commandSent_ = false;
};

}  // namespace reader::trace
