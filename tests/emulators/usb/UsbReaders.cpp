#include "emulators/usb/UsbReaders.h"

#include <numeric>

#include "emulators/Pn53xFrames.h"

namespace fakeusb {
namespace {

using emulator::Append;
using emulator::Pn53xModel;
using std::chrono::microseconds;

std::uint8_t Negated(std::span<const std::uint8_t> bytes) {
  return static_cast<std::uint8_t>(0x100 - std::accumulate(bytes.begin(), bytes.end(), 0u) % 256);
}

const Bytes kPort100Ack{0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00};
const Bytes kPort100Error{0x00, 0x00, 0xFF, 0xFF, 0xFF};

}  // namespace

Rcs380::Rcs380(std::shared_ptr<emulator::FelicaCard> felicaCard)
    : Device(0x054C, 0x06C1, "RC-S380/P", 0x81, 0x02), card(std::move(felicaCard)) {}

void Rcs380::Respond(std::uint8_t command, Bytes results, Clock::duration after) {
  Bytes data{0xD7, static_cast<std::uint8_t>(command + 1)};
  Append(data, results);
  const std::uint8_t length[] = {static_cast<std::uint8_t>(data.size() & 0xFF),
                                 static_cast<std::uint8_t>(data.size() >> 8)};
  Bytes frame{0x00, 0x00, 0xFF, 0xFF, 0xFF, length[0], length[1], Negated(length)};
  Append(frame, data);
  frame.push_back(Negated(data));
  frame.push_back(0x00);
  Queue(std::move(frame), after + late_);
}

void Rcs380::Received(const Bytes& transfer) {
  if (silent || transfer.empty()) return;
  if (transfer == kPort100Ack) return DropPending();
  const bool framed = transfer.size() >= 10 && transfer[0] == 0x00 && transfer[1] == 0x00 && transfer[2] == 0xFF &&
                      transfer[3] == 0xFF && transfer[4] == 0xFF &&
                      Negated(std::span(transfer).subspan(5, 2)) == transfer[7];
  const std::size_t length = framed ? transfer[5] | transfer[6] << 8 : 0;
  const auto data = framed && transfer.size() == 10 + length ? std::span(transfer).subspan(8, length)
                                                             : std::span<const std::uint8_t>();
  if (data.size() < 2 || data[0] != 0xD6 || Negated(data) != transfer[8 + length]) return Queue(kPort100Error);
  if (unplugAfter && commands.size() >= *unplugAfter) return void(unplugged = true);
  const std::size_t number = commands.size() + 1;
  late_ = number == lateCommand ? std::chrono::milliseconds(150) : Clock::duration{};
  if (number >= hiccupAt && errorFrames > 0) return --errorFrames, Queue(kPort100Error);
  Queue(kPort100Ack, microseconds(200) + late_);
  const std::uint8_t command = data[1];
  const auto parameters = data.subspan(2);
  commands.push_back(command);
  if (number >= hiccupAt && unanswered > 0) return void(--unanswered);
  switch (command) {
    case 0x2A:  // SetCommandType
      commandType1_ = parameters.size() == 1 && parameters[0] == 0x01;
      return Respond(command, {static_cast<std::uint8_t>(commandType1_ ? 0x00 : 0x01)});
    case 0x20: return Respond(command, {0x11, 0x01});                 // GetFirmwareVersion: 1.11
    case 0x22: return Respond(command, {0x00, 0x01});                 // GetPDDataVersion: 1.00
    case 0x28: return Respond(command, {0, 0, 0, 0, 0, 0, 0, 0x03});  // GetCommandType: types 0 and 1
    case 0x06: return Respond(command, {0x00});                       // SwitchRF
    case 0x00:  // InSetRF: FeliCa 212 kbps both ways is what this plays
      felica212_ = commandType1_ && Bytes(parameters.begin(), parameters.end()) == Bytes{0x01, 0x01, 0x0F, 0x01};
      return Respond(command, {static_cast<std::uint8_t>(felica212_ ? 0x00 : 0x01)});
    case 0x02: return Respond(command, {static_cast<std::uint8_t>(parameters.size() % 2)});  // InSetProtocol: pairs
    case 0x04: {  // InCommRF: time in 0.1 ms (LE), then the frame
      if (!felica212_ || parameters.size() < 3) return Respond(command, {0x01, 0x00, 0x00, 0x00});  // protocol error
      const auto wait = microseconds(100 * (parameters[0] | parameters[1] << 8));
      const auto frame = parameters.subspan(2);
      const auto answer = card ? card->AnswerWithin(frame, wait) : std::nullopt;
      if (!answer) return Respond(command, {0x80, 0x00, 0x00, 0x00}, wait);  // receive timeout: four bytes only
      Bytes results{0x00, 0x00, 0x00, 0x00, 0x08};
      Append(results, *answer);
      return Respond(command, results, card->TimeFor(frame) + microseconds(500));
    }
    default: return Queue(kPort100Error);
  }
}

Pn53xUsb::Pn53xUsb(Pn53xModel model, std::shared_ptr<emulator::FelicaCard> card)
    : Device(model == Pn53xModel::Rcs956 ? 0x054C : 0x04CC, model == Pn53xModel::Rcs956 ? 0x02E1 : 0x2533,
             model == Pn53xModel::Rcs956 ? "RC-S360/S" : "PN533", 0x84, 0x04),
      chip(model) {
  chip.card = std::move(card);
}

void Pn53xUsb::Received(const Bytes& transfer) {
  if (silent) return;
  Append(input_, transfer);
  for (const auto& frame : emulator::TakeHostFrames(input_)) {
    switch (frame.kind) {
      case emulator::HostFrame::Kind::Ack: DropPending(); break;
      case emulator::HostFrame::Kind::Nack:
        Queue(chip.Model() == Pn53xModel::Rcs956 ? emulator::kPn53xSyntaxError : last_);
        break;
      case emulator::HostFrame::Kind::Broken: Queue(emulator::kPn53xSyntaxError); break;
      case emulator::HostFrame::Kind::Command: {
        if (unplugAfter && frame.command[0] == 0x40 && (*unplugAfter)-- == 0) unplugged = true;
        if (unplugged) return;
        Queue(emulator::kPn53xAck, microseconds(200));
        const auto reply = chip.Execute(frame.command);
        if (!reply) break;  // polls on until an ACK
        last_ = reply->syntaxError ? emulator::kPn53xSyntaxError : emulator::Pn53xFrame(reply->data);
        Queue(last_, reply->after);
      }
    }
  }
}

std::optional<std::pair<Bytes, Clock::duration>> Acr122Apdu(emulator::Pn53xChip& chip,
                                                            std::span<const std::uint8_t> apdu) {
  const Bytes ok{0x90, 0x00};
  if (apdu.size() >= 5 && apdu[0] == 0xFF && apdu[1] == 0x00 && apdu[2] == 0x51)
    return std::pair{Bytes{0x90, 0xFF}, Clock::duration{}};  // PICC operating parameter
  if (apdu.size() < 7 || apdu[0] != 0xFF || apdu[1] != 0x00 || apdu[2] != 0x00 || apdu[3] != 0x00 ||
      apdu[4] != apdu.size() - 5 || apdu[5] != 0xD4) {
    return std::pair{Bytes{0x6A, 0x81}, Clock::duration{}};
  }
  const auto reply = chip.Execute(apdu.subspan(6));
  if (!reply) return std::nullopt;
  Bytes data = reply->syntaxError ? Bytes{0x63, 0x7F} : reply->data;  // 63 7F: the PN532 found an error
  if (!reply->syntaxError) Append(data, ok);
  return std::pair{data, Clock::duration(reply->after)};
}

Acr122Usb::Acr122Usb(std::shared_ptr<emulator::FelicaCard> card)
    : Device(0x072F, 0x2200, "ACR122U PICC Interface", 0x82, 0x02) {
  chip.card = std::move(card);
}

// CCID: bMessageType, dwLength (LE), bSlot, bSeq, three bytes, then the data.
void Acr122Usb::Received(const Bytes& transfer) {
  if (transfer.size() < 10) return;
  DropPending();  // a new message ends a polling that still runs
  std::optional<std::pair<Bytes, Clock::duration>> answer;
  if (transfer[0] == 0x62) {  // PC_to_RDR_IccPowerOn: the contactless ATR
    answer = std::pair{Bytes{0x3B, 0x00}, Clock::duration{}};
  } else if (transfer[0] == 0x6F) {  // PC_to_RDR_XfrBlock
    answer = Acr122Apdu(chip, std::span(transfer).subspan(10));
  }
  if (!answer) return;
  const auto size = answer->first.size();
  Bytes block{0x80, static_cast<std::uint8_t>(size), 0x00, 0x00, 0x00, 0x00, transfer[6], 0x00, 0x00, 0x00};
  Append(block, answer->first);
  Queue(std::move(block), answer->second);
}

}  // namespace fakeusb
