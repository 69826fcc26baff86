#include "ContactlessApdu.h"

#include <string>

#include "Hex.h"

namespace ccid {
namespace {

using reader::ErrorKind;
using reader::Fail;

constexpr std::uint16_t kTagStatus = 0xC0;
constexpr std::uint16_t kTagTimer = 0x5F46;
constexpr std::uint16_t kTagTransceive = 0x95;
constexpr std::uint16_t kTagResponse = 0x97;
constexpr std::uint16_t kNoAnswerFromCard = 0x6401;
constexpr std::uint8_t kPn532Timeout = 0x01;
constexpr std::uint8_t kPn532NoTarget = 0x27;  // no target listed: the card went away

// push_back one by one: GCC 12 warns falsely on inserting a braced list into a short vector.
void Push(reader::Bytes& out, std::initializer_list<std::uint8_t> bytes) {
  for (auto b : bytes) out.push_back(b);
}

reader::Bytes Apdu(std::uint8_t ins, std::uint8_t p2, std::span<const std::uint8_t> data) {
  reader::Bytes apdu;
  apdu.reserve(5 + data.size());
  Push(apdu, {0xFF, ins, 0x00, p2, static_cast<std::uint8_t>(data.size())});
  apdu.insert(apdu.end(), data.begin(), data.end());
  return apdu;
}

// The session's pseudo-APDUs expect an answer: Le 00, as readers' firmware wants it.
reader::Bytes SessionApdu(std::uint8_t p2, std::span<const std::uint8_t> data) {
  reader::Bytes apdu = Apdu(0xC2, p2, data);
  apdu.push_back(0x00);
  return apdu;
}

// C0 03 <result> <SW1 SW2>: result 00 done, 01 refused or not understood, 02 no answer from the card.
constexpr std::uint8_t kResultDone = 0x00;
constexpr std::uint8_t kResultRefused = 0x01;

std::string StatusObjectText(const reader::Bytes& value) {
  std::string text = "C003";
  hex::Append(text, value);
  return text;
}

}  // namespace

void AppendDataObject(reader::Bytes& out, std::uint16_t tag, std::span<const std::uint8_t> value) {
  if (tag > 0xFF) out.push_back(static_cast<std::uint8_t>(tag >> 8));
  out.push_back(static_cast<std::uint8_t>(tag & 0xFF));
  const std::size_t size = value.size();
  if (size > 0xFF) {
    Push(out, {0x82, static_cast<std::uint8_t>(size >> 8), static_cast<std::uint8_t>(size & 0xFF)});
  } else if (size > 0x7F) {
    Push(out, {0x81, static_cast<std::uint8_t>(size)});
  } else {
    out.push_back(static_cast<std::uint8_t>(size));
  }
  out.insert(out.end(), value.begin(), value.end());
}

std::optional<std::vector<DataObject>> ParseDataObjects(std::span<const std::uint8_t> bytes) {
  std::vector<DataObject> objects;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    DataObject object;
    object.tag = bytes[pos++];
    if ((object.tag & 0x1F) == 0x1F) {
      if (pos >= bytes.size()) return std::nullopt;
      object.tag = static_cast<std::uint16_t>(object.tag << 8 | bytes[pos++]);
    }
    if (pos >= bytes.size()) return std::nullopt;
    std::size_t length = bytes[pos++];
    // The long forms 81 xx and 82 xx xx; any other byte above 7F is the length itself, as some firmware writes
    // it (a FeliCa frame is never 129 or 130 bytes long, so no such length is mistaken for 81 or 82).
    if (length == 0x81 || length == 0x82) {
      const std::size_t extra = length - 0x80;
      if (pos + extra > bytes.size()) return std::nullopt;
      length = extra == 1 ? bytes[pos] : std::size_t{bytes[pos]} << 8 | bytes[pos + 1];
      pos += extra;
    }
    if (pos + length > bytes.size()) return std::nullopt;
    object.value.assign(bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                        bytes.begin() + static_cast<std::ptrdiff_t>(pos + length));
    pos += length;
    objects.push_back(std::move(object));
  }
  return objects;
}

reader::Bytes GetIdmApdu() { return {0xFF, 0xCA, 0x00, 0x00, 0x00}; }

reader::Bytes ManageSessionApdu(SessionStep step) {
  const std::uint8_t object[] = {static_cast<std::uint8_t>(step), 0x00};
  return SessionApdu(0x00, object);
}

reader::Bytes SwitchToFelicaApdu() {
  const std::uint8_t object[] = {0x8F, 0x02, 0x03, 0x00};  // FeliCa, no layer above
  return SessionApdu(0x02, object);
}

reader::Bytes TransparentExchangeApdu(std::span<const std::uint8_t> frame, std::uint32_t timeoutMicroseconds) {
  const std::uint8_t timer[] = {static_cast<std::uint8_t>(timeoutMicroseconds & 0xFF),
                                static_cast<std::uint8_t>(timeoutMicroseconds >> 8 & 0xFF),
                                static_cast<std::uint8_t>(timeoutMicroseconds >> 16 & 0xFF),
                                static_cast<std::uint8_t>(timeoutMicroseconds >> 24)};
  reader::Bytes objects;
  AppendDataObject(objects, kTagTimer, timer);
  AppendDataObject(objects, kTagTransceive, frame);
  // A frame of 255 bytes makes the objects longer than a short Lc holds.
  reader::Bytes apdu{0xFF, 0xC2, 0x00, 0x01};
  if (objects.size() > 0xFF) {
    Push(apdu,
         {0x00, static_cast<std::uint8_t>(objects.size() >> 8), static_cast<std::uint8_t>(objects.size() & 0xFF)});
    apdu.insert(apdu.end(), objects.begin(), objects.end());
    Push(apdu, {0x00, 0x00});
  } else {
    apdu.push_back(static_cast<std::uint8_t>(objects.size()));
    apdu.insert(apdu.end(), objects.begin(), objects.end());
    apdu.push_back(0x00);
  }
  return apdu;
}

reader::Expected<reader::Bytes> DirectTransmitApdu(std::span<const std::uint8_t> data) {
  if (data.size() > 0xFF) {
    return Fail(ErrorKind::InvalidArgument,
                std::to_string(data.size()) + " bytes are more than one direct transmit carries (255)");
  }
  return Apdu(0x00, 0x00, data);
}

reader::Expected<Response> SplitResponse(std::span<const std::uint8_t> response) {
  // A reader whose card vanishes mid-command answers with less than a status word.
  if (response.size() < 2) return Fail(ErrorKind::CardLost, "answer shorter than a status word: the card left");
  Response split;
  split.statusWord = static_cast<std::uint16_t>(response[response.size() - 2] << 8 | response.back());
  split.data.assign(response.begin(), response.end() - 2);
  return split;
}

bool SessionStepAccepted(const Response& response) {
  if (response.statusWord != kStatusOk) return false;
  if (response.data.empty()) return true;
  const auto objects = ParseDataObjects(response.data);
  if (!objects) return false;
  for (const auto& object : *objects) {
    if (object.tag == kTagStatus && object.value != reader::Bytes{kResultDone, 0x90, 0x00}) return false;
  }
  return true;
}

reader::Expected<reader::Bytes> TransparentAnswer(const Response& response) {
  if (response.statusWord != kStatusOk) {
    return Fail(ErrorKind::Transmission, "reader refused the exchange, status " + hex::Word(response.statusWord));
  }
  const auto objects = ParseDataObjects(response.data);
  if (!objects) return Fail(ErrorKind::BadResponse, "malformed data objects from the reader");
  const reader::Bytes* frame = nullptr;
  bool haveStatus = false;
  for (const auto& object : *objects) {
    if (object.tag == kTagStatus) {
      if (object.value.size() != 3) return Fail(ErrorKind::BadResponse, "malformed status object from the reader");
      haveStatus = true;
      const auto word = static_cast<std::uint16_t>(object.value[1] << 8 | object.value[2]);
      if (object.value[0] != kResultRefused && word == kNoAnswerFromCard) return Fail(ErrorKind::Timeout);
      if (object.value[0] != kResultDone || word != kStatusOk)
        return Fail(ErrorKind::Transmission, "reader refused the exchange: " + StatusObjectText(object.value));
    } else if (object.tag == kTagResponse) {
      frame = &object.value;
    }
  }
  if (!haveStatus) return Fail(ErrorKind::BadResponse, "no status object from the reader");
  if (!frame) return Fail(ErrorKind::Timeout);
  return *frame;
}

reader::Expected<reader::Bytes> Pn532Answer(const Response& response, std::uint8_t command) {
  if (response.statusWord != kStatusOk) {
    return Fail(ErrorKind::Transmission, "reader refused the PN532 command, status " + hex::Word(response.statusWord));
  }
  if (response.data.size() < 2 || response.data[0] != 0xD5 || response.data[1] != command + 1) {
    return Fail(ErrorKind::BadResponse, "not the PN532's answer to the command sent");
  }
  return reader::Bytes(response.data.begin() + 2, response.data.end());
}

reader::Expected<reader::PollingAnswer> Pn532PollingAnswer(std::span<const std::uint8_t> parameters) {
  if (parameters.empty()) return Fail(ErrorKind::BadResponse, "empty InListPassiveTarget answer");
  if (parameters[0] == 0) return Fail(ErrorKind::Timeout);
  // NbTg, Tg, then POL_RES with its length byte.
  if (parameters.size() < 2) return Fail(ErrorKind::BadResponse, "InListPassiveTarget answer too short");
  return reader::DecodePolling(parameters.subspan(2));
}

reader::Expected<reader::Bytes> Pn532ExchangeAnswer(std::span<const std::uint8_t> parameters) {
  if (parameters.empty()) return Fail(ErrorKind::BadResponse, "empty InDataExchange answer");
  const std::uint8_t status = parameters[0] & 0x3F;
  if (status == kPn532Timeout) return Fail(ErrorKind::Timeout);
  if (status == kPn532NoTarget) return Fail(ErrorKind::CardLost, "the PN532 has no target listed");
  if (status != 0) {
    std::string text = "PN532 error ";
    hex::Append(text, std::span(&status, 1));
    return Fail(ErrorKind::Transmission, text);
  }
  return reader::Bytes(parameters.begin() + 1, parameters.end());
}

}  // namespace ccid
