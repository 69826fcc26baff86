#include "ContactlessApdu.h"

namespace pcsc {
namespace {

constexpr std::uint16_t kStatusOk = 0x9000;
constexpr std::uint16_t kTagStatus = 0xC0;
constexpr std::uint16_t kTagTimer = 0x5F46;
constexpr std::uint16_t kTagTransceive = 0x95;
constexpr std::uint16_t kTagResponse = 0x97;

// push_back one by one: GCC 12 warns falsely on inserting a braced list into a short vector.
void Push(felica::Bytes& out, std::initializer_list<std::uint8_t> bytes) {
  for (auto b : bytes) out.push_back(b);
}

felica::Bytes Envelope(std::uint8_t p2, const felica::Bytes& objects) {
  felica::Bytes apdu;
  apdu.reserve(5 + objects.size());
  Push(apdu, {0xFF, 0xC2, 0x00, p2, static_cast<std::uint8_t>(objects.size())});
  apdu.insert(apdu.end(), objects.begin(), objects.end());
  return apdu;
}

felica::Bytes Objects(std::uint16_t tag, std::span<const std::uint8_t> value) {
  felica::Bytes out;
  AppendDataObject(out, tag, value);
  return out;
}

}  // namespace

void AppendDataObject(felica::Bytes& out, std::uint16_t tag, std::span<const std::uint8_t> value) {
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
    if (length == 0x81 || length == 0x82) {
      const std::size_t extra = length - 0x80;
      if (pos + extra > bytes.size()) return std::nullopt;
      length = 0;
      for (std::size_t i = 0; i < extra; ++i) length = length << 8 | bytes[pos++];
    } else if (length > 0x7F) {
      return std::nullopt;
    }
    if (pos + length > bytes.size()) return std::nullopt;
    object.value.assign(bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                        bytes.begin() + static_cast<std::ptrdiff_t>(pos + length));
    pos += length;
    objects.push_back(std::move(object));
  }
  return objects;
}

felica::Bytes GetIdmApdu() { return {0xFF, 0xCA, 0x00, 0x00, 0x00}; }
felica::Bytes StartSessionApdu() { return Envelope(0x00, Objects(0x81, {})); }
felica::Bytes EndSessionApdu() { return Envelope(0x00, Objects(0x82, {})); }

felica::Bytes SwitchToFelicaApdu() {
  const std::uint8_t felicaNoLayer[] = {0x03, 0x00};
  return Envelope(0x02, Objects(0x8F, felicaNoLayer));
}

felica::Bytes TransparentExchangeApdu(std::span<const std::uint8_t> frame, std::uint32_t timeoutMicroseconds) {
  const std::uint8_t timer[] = {static_cast<std::uint8_t>(timeoutMicroseconds & 0xFF),
                                static_cast<std::uint8_t>(timeoutMicroseconds >> 8 & 0xFF),
                                static_cast<std::uint8_t>(timeoutMicroseconds >> 16 & 0xFF),
                                static_cast<std::uint8_t>(timeoutMicroseconds >> 24)};
  felica::Bytes objects;
  AppendDataObject(objects, kTagTimer, timer);
  AppendDataObject(objects, kTagTransceive, frame);
  // A frame of 255 bytes makes the objects longer than a short Lc holds.
  felica::Bytes apdu{0xFF, 0xC2, 0x00, 0x01};
  if (objects.size() > 0xFF) {
    Push(apdu, {0x00, static_cast<std::uint8_t>(objects.size() >> 8),
                             static_cast<std::uint8_t>(objects.size() & 0xFF)});
    apdu.insert(apdu.end(), objects.begin(), objects.end());
    Push(apdu, {0x00, 0x00});
  } else {
    apdu.push_back(static_cast<std::uint8_t>(objects.size()));
    apdu.insert(apdu.end(), objects.begin(), objects.end());
    apdu.push_back(0x00);
  }
  return apdu;
}

Answer ParsePlainResponse(std::span<const std::uint8_t> response) {
  Answer answer;
  if (response.size() < 2) {
    answer.kind = AnswerKind::Empty;
    return answer;
  }
  answer.statusWord = static_cast<std::uint16_t>(response[response.size() - 2] << 8 | response.back());
  answer.data.assign(response.begin(), response.end() - 2);
  answer.kind = answer.statusWord == kStatusOk ? AnswerKind::Ok : AnswerKind::Refused;
  if (answer.kind == AnswerKind::Ok) {
    // Manage session and switch protocol answer with a status object; GET DATA with bare bytes.
    if (!answer.data.empty() && answer.data[0] == kTagStatus) {
      const auto objects = ParseDataObjects(answer.data);
      if (!objects) {
        answer.kind = AnswerKind::Malformed;
      } else {
        for (const auto& object : *objects) {
          if (object.tag == kTagStatus && (object.value.size() != 3 || object.value[1] != 0x90 || object.value[2] != 0x00)) {
            answer.kind = AnswerKind::Refused;
          }
        }
      }
    }
  }
  return answer;
}

namespace {

Answer ParseTransparentObjects(std::span<const std::uint8_t> response) {
  Answer answer = ParsePlainResponse(response);
  if (answer.kind == AnswerKind::Malformed) answer.statusWord = 0;
  if (answer.statusWord != kStatusOk) {
    answer.data.clear();
    return answer;
  }
  const auto objects = ParseDataObjects(answer.data);
  answer.data.clear();
  if (!objects) {
    answer.kind = AnswerKind::Malformed;
    return answer;
  }
  bool haveStatus = false;
  bool haveFrame = false;
  for (const auto& object : *objects) {
    if (object.tag == kTagStatus) {
      if (object.value.size() != 3) {
        answer.kind = AnswerKind::Malformed;
        return answer;
      }
      haveStatus = true;
      const auto word = static_cast<std::uint16_t>(object.value[1] << 8 | object.value[2]);
      if (word == 0x6401) {  // no answer from the card
        answer.kind = AnswerKind::NoAnswer;
        return answer;
      }
      if (word != kStatusOk) {
        answer.kind = AnswerKind::Refused;
        answer.statusWord = word;
        return answer;
      }
    } else if (object.tag == kTagResponse) {
      answer.data = object.value;
      haveFrame = true;
    }
  }
  answer.kind = !haveStatus ? AnswerKind::Malformed : haveFrame ? AnswerKind::Ok : AnswerKind::NoAnswer;
  return answer;
}

}  // namespace

Answer ParseTransparentResponse(std::span<const std::uint8_t> response) {
  Answer answer = ParseTransparentObjects(response);
  if (answer.kind != AnswerKind::Ok) answer.data.clear();  // only a whole answer carries a frame
  return answer;
}

}  // namespace pcsc
