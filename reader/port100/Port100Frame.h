#pragma once
// The port100 frame layer (RC-S380). To and from the device:
//   00 00 FF FF FF  LEN(2, little-endian)  LCS  DATA  DCS  00
// where LCS makes the length bytes sum to 0 (mod 256) and DCS the data.
// DATA is D6 command parameters to the device, D7 command+1 results back.
// An ACK is 00 00 FF 00 FF 00; the host sends one to reset the exchange.

#include <cstdint>
#include <span>
#include <string_view>

#include "Bytes.h"
#include "Expected.h"

namespace port100 {

// Both ways: the chip's "command taken", and the host's "abandon the command".
inline constexpr std::uint8_t kAckFrame[] = {0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00};
inline constexpr std::uint8_t kToDevice = 0xD6;
inline constexpr std::uint8_t kFromDevice = 0xD7;

namespace command {
inline constexpr std::uint8_t kInSetRF = 0x00;
inline constexpr std::uint8_t kInSetProtocol = 0x02;
inline constexpr std::uint8_t kInCommRF = 0x04;
inline constexpr std::uint8_t kSwitchRF = 0x06;
inline constexpr std::uint8_t kGetFirmwareVersion = 0x20;
inline constexpr std::uint8_t kSetCommandType = 0x2A;
}  // namespace command

// A command frame: D6, the command code, its parameters.
reader::Bytes EncodeCommand(std::uint8_t command, std::span<const std::uint8_t> parameters);

enum class FrameKind { Ack, Data, Error, Invalid };

struct DecodedFrame {
  FrameKind kind = FrameKind::Invalid;
  reader::Bytes data;      // DATA of a data frame
  std::string_view fault;  // why an invalid frame is invalid
};

DecodedFrame DecodeFrame(std::span<const std::uint8_t> frame);

// InCommRF's result: four bytes of error bits (little-endian); on success
// one byte more and the card's frame. Timeout when the card did not answer.
reader::Expected<reader::Bytes> ParseInCommRfResult(std::span<const std::uint8_t> result);

}  // namespace port100
