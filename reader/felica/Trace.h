#pragma once
// A trace a user can send: with FELICA_TRACE=1 in the environment, every
// frame, APDU and USB transfer the library exchanges is written to standard
// error, one line each, with its direction and the milliseconds since the
// first line. The card's IDm and every block's data are masked (** a byte)
// wherever a FeliCa frame carries them; lengths and status flags stay.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace reader::trace {

enum class Direction { ToReader, FromReader };

bool Enabled();

// `channel` says what the bytes are: "usb", "apdu", "escape", "frame". The
// first `secretBytes` are masked whatever they hold (an IDm outside a frame).
void Bytes(std::string_view channel, Direction direction, std::span<const std::uint8_t> bytes,
           std::size_t secretBytes = 0);

// The bytes in hexadecimal with every FeliCa frame's IDm and block data masked.
std::string Masked(std::span<const std::uint8_t> bytes, std::size_t secretBytes = 0);

}  // namespace reader::trace
