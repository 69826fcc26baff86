#pragma once
// The pseudo-APDUs that contactless PC/SC readers take for FeliCa, and
// their answers. Three families:
//
// Transparent session (PC/SC part 3; the RC-S300 and most CCID readers):
//   FF C2 00 00  manage session   81 00 start, 82 00 end, 83 00 field off, 84 00 field on
//   FF C2 00 02  switch protocol  8F 02 03 00: FeliCa
//   FF C2 00 01  exchange         timer 5F46 (microseconds), frame in 95;
//                answered by status C0 (… 90 00, or … 64 01: no answer) and the card's frame in 97.
//   Data objects are BER-TLV; lengths over 127 in long form (81 xx, 82 xx xx),
//   though some firmware writes one byte above 7F without the 81.
// Direct transmit of a FeliCa frame (readers that refuse the switch to FeliCa):
//   FF 00 00 00 Lc <frame with its length byte>  ->  <answer frame> 90 00
// Direct transmit to a PN532 (ACR122U):
//   FF 00 00 00 Lc D4 <command> …  ->  D5 <command + 1> … 90 00

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "Bytes.h"
#include "Expected.h"
#include "Frames.h"

namespace ccid {

inline constexpr std::uint16_t kStatusOk = 0x9000;

struct DataObject {
  std::uint16_t tag = 0;  // one byte, or two when the first byte's low five bits are all set
  reader::Bytes value;
};

void AppendDataObject(reader::Bytes& out, std::uint16_t tag, std::span<const std::uint8_t> value);
// nullopt when the bytes are not a whole sequence of data objects.
std::optional<std::vector<DataObject>> ParseDataObjects(std::span<const std::uint8_t> bytes);

reader::Bytes GetIdmApdu();
enum class SessionStep : std::uint8_t { Start = 0x81, End = 0x82, FieldOff = 0x83, FieldOn = 0x84 };
reader::Bytes ManageSessionApdu(SessionStep step);
reader::Bytes SwitchToFelicaApdu();
reader::Bytes TransparentExchangeApdu(std::span<const std::uint8_t> frame, std::uint32_t timeoutMicroseconds);
// InvalidArgument when `data` is longer than a short Lc carries.
reader::Expected<reader::Bytes> DirectTransmitApdu(std::span<const std::uint8_t> data);

// A response: its data and status word. CardLost when it is shorter than a status word.
struct Response {
  reader::Bytes data;
  std::uint16_t statusWord = 0;
};
reader::Expected<Response> SplitResponse(std::span<const std::uint8_t> response);

// A manage-session or switch-protocol answer: 90 00, and a status object C0 (if any) ending in 90 00.
bool SessionStepAccepted(const Response& response);

// The card's frame from an exchange. Timeout when the reader says the card
// did not answer; Transmission when it refused; BadResponse when the
// objects do not make sense.
reader::Expected<reader::Bytes> TransparentAnswer(const Response& response);

// PN532 answers inside a direct transmit: the parameters after D5 and command + 1.
reader::Expected<reader::Bytes> Pn532Answer(const Response& response, std::uint8_t command);
// InListPassiveTarget's answer for FeliCa (NbTg, Tg, POL_RES with its length byte). Timeout when no target.
reader::Expected<reader::PollingAnswer> Pn532PollingAnswer(std::span<const std::uint8_t> parameters);
// InDataExchange's answer (status, then the frame). Timeout when the card did not answer.
reader::Expected<reader::Bytes> Pn532ExchangeAnswer(std::span<const std::uint8_t> parameters);

}  // namespace ccid
