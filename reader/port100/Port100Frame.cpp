#include "Port100Frame.h"

#include <algorithm>
#include <numeric>
#include <string>

#include "Hex.h"

namespace port100 {
namespace {

constexpr std::uint8_t kPreamble[] = {0x00, 0x00, 0xFF};
constexpr std::uint8_t kExtended[] = {0xFF, 0xFF};
constexpr std::uint32_t kReceiveTimeoutBit = 0x00000080;

std::uint8_t Checksum(std::span<const std::uint8_t> bytes) {
  const unsigned sum = std::accumulate(bytes.begin(), bytes.end(), 0u);
  return static_cast<std::uint8_t>((256 - sum % 256) % 256);
}

}  // namespace

reader::Bytes EncodeCommand(std::uint8_t command, std::span<const std::uint8_t> parameters) {
  reader::Bytes data{kToDevice, command};
  data.insert(data.end(), parameters.begin(), parameters.end());
  reader::Bytes frame(std::begin(kPreamble), std::end(kPreamble));
  frame.insert(frame.end(), std::begin(kExtended), std::end(kExtended));
  const std::uint8_t length[] = {static_cast<std::uint8_t>(data.size() & 0xFF),
                                 static_cast<std::uint8_t>(data.size() >> 8)};
  frame.insert(frame.end(), std::begin(length), std::end(length));
  frame.push_back(Checksum(length));
  frame.insert(frame.end(), data.begin(), data.end());
  frame.push_back(Checksum(data));
  frame.push_back(0x00);
  return frame;
}

DecodedFrame DecodeFrame(std::span<const std::uint8_t> frame) {
  DecodedFrame decoded;
  if (std::equal(frame.begin(), frame.end(), std::begin(kAckFrame), std::end(kAckFrame))) {
    decoded.kind = FrameKind::Ack;
    return decoded;
  }
  if (frame.size() < 5 || !std::equal(std::begin(kPreamble), std::end(kPreamble), frame.begin())) {
    decoded.fault = "no frame preamble";
    return decoded;
  }
  if (frame.size() == 5 && frame[3] == 0xFF && frame[4] == 0xFF) {
    decoded.kind = FrameKind::Error;  // the device's error frame
    return decoded;
  }
  if (frame[3] != 0xFF || frame[4] != 0xFF) {
    decoded.fault = "not an extended frame";
    return decoded;
  }
  if (frame.size() < 10) {
    decoded.fault = "frame too short";
    return decoded;
  }
  if (Checksum(frame.subspan(5, 2)) != frame[7]) {
    decoded.fault = "length checksum wrong";
    return decoded;
  }
  const std::size_t length = frame[5] | frame[6] << 8;
  if (frame.size() < 8 + length + 2) {
    decoded.fault = "frame shorter than its length";
    return decoded;
  }
  const auto data = frame.subspan(8, length);
  if (Checksum(data) != frame[8 + length]) {
    decoded.fault = "data checksum wrong";
    return decoded;
  }
  decoded.kind = FrameKind::Data;
  decoded.data.assign(data.begin(), data.end());
  return decoded;
}

reader::Expected<reader::Bytes> ParseInCommRfResult(std::span<const std::uint8_t> result) {
  using reader::ErrorKind;
  if (result.size() < 4) return reader::Fail(ErrorKind::Transmission, "InCommRF result too short");
  const std::uint32_t errors =
      result[0] | result[1] << 8 | result[2] << 16 | static_cast<std::uint32_t>(result[3]) << 24;
  if (errors & kReceiveTimeoutBit) return reader::Fail(ErrorKind::Timeout);
  if (errors != 0) {
    std::string bits = "RF error bits ";
    hex::Append(bits, result.first(4));
    return reader::Fail(ErrorKind::Transmission, bits);
  }
  // Only a success carries the fifth byte and the frame.
  if (result.size() < 5) return reader::Fail(ErrorKind::Transmission, "InCommRF result without the card's frame");
  return reader::Bytes(result.begin() + 5, result.end());
}

}  // namespace port100
