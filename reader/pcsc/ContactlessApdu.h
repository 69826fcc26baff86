#pragma once
// The PC/SC pseudo-APDUs for contactless cards (PC/SC part 3): GET DATA,
// and the transparent session that carries raw FeliCa frames:
//   FF C2 00 00  manage session   (81 00 start, 82 00 end)
//   FF C2 00 02  switch protocol  (8F 02 03 00: FeliCa)
//   FF C2 00 01  transparent exchange: timer 5F46, frame in 95;
//                answered by status C0 and the card's frame in 97.
// Data objects are BER-TLV, lengths over 127 in long form (81 xx, 82 xx xx).

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "Bytes.h"

namespace pcsc {

struct DataObject {
  std::uint16_t tag = 0;  // one byte, or two when the first byte's low five bits are all set
  felica::Bytes value;
};

void AppendDataObject(felica::Bytes& out, std::uint16_t tag, std::span<const std::uint8_t> value);
// nullopt when the bytes are not a whole sequence of data objects.
std::optional<std::vector<DataObject>> ParseDataObjects(std::span<const std::uint8_t> bytes);

felica::Bytes GetIdmApdu();
felica::Bytes StartSessionApdu();
felica::Bytes EndSessionApdu();
felica::Bytes SwitchToFelicaApdu();
felica::Bytes TransparentExchangeApdu(std::span<const std::uint8_t> frame, std::uint32_t timeoutMicroseconds);

enum class AnswerKind {
  Ok,          // status 90 00, and for an exchange the card's frame
  NoAnswer,    // the reader says the card did not answer in time
  Refused,     // any other status word or status data object
  Malformed,   // not a response of this form
  Empty,       // fewer than 2 bytes: the card vanished mid-command
};

struct Answer {
  AnswerKind kind = AnswerKind::Malformed;
  felica::Bytes data;          // the card's frame (97), or GET DATA's bytes
  std::uint16_t statusWord = 0;
};

// For GET DATA and the manage-session/switch-protocol commands.
Answer ParsePlainResponse(std::span<const std::uint8_t> response);
Answer ParseTransparentResponse(std::span<const std::uint8_t> response);

}  // namespace pcsc
