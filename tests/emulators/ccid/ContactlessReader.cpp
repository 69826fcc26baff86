#include "emulators/ccid/ContactlessReader.h"

#include <chrono>

#include "emulators/usb/UsbReaders.h"

namespace emulator {
namespace {

using std::chrono::microseconds;

const Bytes kOk{0x90, 0x00}, kWrongLength{0x67, 0x00}, kNotSupported{0x6A, 0x81}, kInstructionNotSupported{0x6D, 0x00};

Bytes With(Bytes body, const Bytes& tail) { return Append(body, tail), body; }

ReaderAnswer Status(std::uint8_t result, std::uint8_t sw1, std::uint8_t sw2) {
  return {With({0xC0, 0x03, result, sw1, sw2}, kOk)};
}

// BER-TLV: a tag of one byte (two when its low five bits are set), a length of one byte or 81 xx or 82 xx xx.
std::optional<std::vector<std::pair<unsigned, Bytes>>> Objects(std::span<const std::uint8_t> bytes) {
  std::vector<std::pair<unsigned, Bytes>> objects;
  for (std::size_t at = 0; at < bytes.size();) {
    unsigned tag = bytes[at++];
    if ((tag & 0x1F) == 0x1F && at < bytes.size()) tag = tag << 8 | bytes[at++];
    if (at >= bytes.size()) return std::nullopt;
    std::size_t length = bytes[at++];
    if (length == 0x81 || length == 0x82) {
      const std::size_t extra = length - 0x80;
      if (at + extra > bytes.size()) return std::nullopt;
      length = extra == 1 ? bytes[at] : bytes[at] << 8 | bytes[at + 1];
      at += extra;
    } else if (length > 0x7F) {
      return std::nullopt;
    }
    if (at + length > bytes.size()) return std::nullopt;
    objects.emplace_back(tag, Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                    bytes.begin() + static_cast<std::ptrdiff_t>(at + length)));
    at += length;
  }
  return objects;
}

}  // namespace

// PC/SC part 3's contactless ATR: FeliCa by the card name 00 3B (an ACR122U says F0 11); a contact card's: T=1.
Bytes ContactlessReader::Atr() const {
  if (model == PcscModel::Unknown) return {0x3B, 0x80, 0x80, 0x01, 0x01};
  Bytes atr{0x3B, 0x8F, 0x80, 0x01, 0x80, 0x4F, 0x0C, 0xA0, 0x00, 0x00, 0x03, 0x06};
  Append(atr, model == PcscModel::Acr122u ? Bytes{0x03, 0xF0, 0x11} : Bytes{0x11, 0x00, 0x3B});
  Append(atr, Bytes{0x00, 0x00, 0x00, 0x00});
  std::uint8_t check = 0;
  for (std::size_t i = 1; i < atr.size(); ++i) check ^= atr[i];
  atr.push_back(check);
  return atr;
}

ReaderAnswer ContactlessReader::Refused(std::uint8_t sw1, std::uint8_t sw2) const {
  return Rcs300() ? Status(0x01, sw1, sw2) : ReaderAnswer{{sw1, sw2}};
}

void ContactlessReader::Place(std::shared_ptr<FelicaCard> felicaCard) {
  card = std::move(felicaCard);
  chip_.card = card;
  PowerOff();
  fieldOff_ = fieldCycled_ = dropsCardAtFieldOff = false, fieldSettles = std::chrono::milliseconds(20);
}

ReaderAnswer ContactlessReader::Respond(const Bytes& apdu, bool escape) {
  // The RC-S300 takes its session's pseudo-APDUs (C2 or 50) in an Escape too; the escape-only one nowhere else.
  const bool sessionApdu = apdu.size() >= 2 && (apdu[1] == 0xC2 || (Rcs300() && apdu[1] == 0x50));
  if (escape && !(Rcs300() && sessionApdu)) return {kNotSupported};
  if (!escape && sessionApdu && model == PcscModel::Rcs300Escape) return {kInstructionNotSupported};
  if (apdu.size() < 5 || apdu[0] != 0xFF) return {{0x6E, 0x00}};
  if (apdu[1] == 0xCA) {  // GET DATA: the IDm
    if (apdu.size() != 5 || apdu[2] != 0x00 || apdu[3] != 0x00) return {kWrongLength};
    return {With(Bytes(card->Content().idm.begin(), card->Content().idm.end()), kOk)};
  }
  if (model == PcscModel::Unknown) return {kInstructionNotSupported};
  if (apdu[1] == 0x00) return DirectTransmit(apdu);
  if (!sessionApdu || apdu[2] != 0x00 || model == PcscModel::Acr122u)
    return {model == PcscModel::Acr122u ? kNotSupported : kInstructionNotSupported};
  // Short Lc with an optional Le, or extended Lc (00 HH LL) with a two-byte Le; the escape-only RC-S300 wants Le.
  const bool extended = apdu[4] == 0x00 && apdu.size() >= 7;
  const std::size_t lc = extended ? (apdu[5] << 8 | apdu[6]) : apdu[4];
  const std::size_t start = extended ? 7 : 5, withLe = start + lc + (extended ? 2 : 1);
  if (apdu.size() != withLe && (model == PcscModel::Rcs300Escape || apdu.size() != start + lc))
    return Refused(0x67, 0x00);
  const Bytes objects(apdu.begin() + static_cast<std::ptrdiff_t>(start),
                      apdu.begin() + static_cast<std::ptrdiff_t>(start + lc));
  switch (apdu[3]) {
    case 0x00: return ManageSession(objects);
    case 0x01: return TransparentExchange(objects);
    case 0x02: {  // switch protocol: 8F 02 03 00 is FeliCa
      if (objects != Bytes{0x8F, 0x02, 0x03, 0x00}) return Refused(0x6A, 0x81);
      if (!session || model == PcscModel::Acr1252u) return Status(0x01, 0x6A, 0x81);
      felica_ = true;
      return Status(0x00, 0x90, 0x00);
    }
    default: return Refused(0x6A, 0x86);
  }
}

ReaderAnswer ContactlessReader::ManageSession(const Bytes& objects) {
  const auto parsed = Objects(objects);
  if (!parsed || parsed->empty()) return Refused(0x67, 0x00);
  for (const auto& [tag, value] : *parsed) {
    const bool step = value.empty() && tag >= 0x81 && tag <= 0x84;
    if (!step && !(tag == 0x5F46 && value.size() == 4)) return Refused(0x67, 0x00);
    if (step && tag == 0x81 && session && (model == PcscModel::Rcs300Escape || model == PcscModel::Acr1252u))
      return Status(0x01, 0x6A, 0x81);
    if (step && tag == 0x84 && !session && Rcs300()) return Status(0x01, 0x63, 0x01);
    // Each session needs the field cycled anew; a card dropped at field off is found again in a fresh field.
    if (step && tag == 0x81) session = true, fieldOff_ = false, fieldCycled_ = fieldCycled_ && dropsCardAtFieldOff;
    if (step && tag == 0x82) session = felica_ = false;
    if (step && tag == 0x83) fieldOff_ = true, droppedCard = fieldCycled_ = dropsCardAtFieldOff;
    if (step && tag == 0x84) fieldCycled_ = fieldCycled_ || fieldOff_, fieldOn_ = fakeusb::Clock::now();
  }
  return Status(0x00, 0x90, 0x00);
}

ReaderAnswer ContactlessReader::TransparentExchange(const Bytes& objects) {
  const auto parsed = Objects(objects);
  if (!parsed) return Refused(0x67, 0x00);
  if (!session || !felica_) return Status(0x01, 0x69, 0x85);
  std::optional<std::uint32_t> timer;
  const Bytes* frame = nullptr;
  for (const auto& [tag, value] : *parsed) {
    if (tag == 0x5F46 && value.size() == 4)
      timer = value[0] | value[1] << 8 | value[2] << 16 | static_cast<std::uint32_t>(value[3]) << 24;
    else if (tag == 0x95)
      frame = &value;
    else
      return Refused(0x67, 0x00);
  }
  if (!frame || frame->empty() || (*frame)[0] != frame->size()) return Refused(0x67, 0x00);
  if (Rcs300() && !timer) return Status(0x01, 0x64, 0x01);  // the timer is not optional here
  const bool fieldUp = fieldCycled_ && fakeusb::Clock::now() - fieldOn_ >= fieldSettles;
  const bool hears = card && (!Rcs300() || fieldUp);
  const auto answer =
      hears ? card->AnswerWithin(*frame, timer ? microseconds(*timer) : microseconds::max()) : std::nullopt;
  if (!answer) {
    auto silence = Status(0x02, 0x64, 0x01);
    silence.after = microseconds(std::min<std::uint32_t>(timer.value_or(0), 1000000));
    return silence;
  }
  Bytes body{0xC0, 0x03, 0x00, 0x90, 0x00, 0x92, 0x01, 0x00, 0x96, 0x02, 0x00, 0x00, 0x97};
  if (answer->size() > 0x7F) body.push_back(0x81);
  body.push_back(static_cast<std::uint8_t>(answer->size()));
  Append(body, *answer);
  return {With(body, kOk), card->TimeFor(*frame)};
}

// FF 00 00 00 Lc data
ReaderAnswer ContactlessReader::DirectTransmit(std::span<const std::uint8_t> apdu) {
  if (apdu[2] != 0x00 && !(model == PcscModel::Acr122u && apdu[2] == 0x51)) return {{0x6A, 0x86}};
  if (model == PcscModel::Acr122u) {
    // A PN532 polling on for ever makes the reader wait too; here it gives up after 2 s.
    auto answer = fakeusb::Acr122Apdu(chip_, apdu);
    if (!answer) return {{0xD5, 0x4B, 0x00, 0x90, 0x00}, std::chrono::seconds(2)};
    return {answer->first, answer->second};
  }
  if (model != PcscModel::Acr1252u) return {kNotSupported};
  if (apdu[4] != apdu.size() - 5 || apdu.size() < 6) return {kWrongLength};
  const auto answer = card->Answer(apdu.subspan(5));
  return {answer ? With(*answer, kOk) : Bytes{0x63, 0x00}, card->TimeFor(apdu.subspan(5))};  // 63 00: no answer
}

}  // namespace emulator
