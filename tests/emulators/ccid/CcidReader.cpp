#include "emulators/ccid/CcidReader.h"

#include <utility>

namespace emulator {
namespace {

struct Descriptor {
  std::uint16_t vendor, product, bcdDevice, bcdCcid;
  std::uint32_t dataRate, maxDataRate, maxIfsd, features, maxMessage;
  const char* name;
};

// From libccid's readers/ dumps, in PcscModel's order.
constexpr Descriptor kDescriptors[] = {
    {0x076B, 0x3031, 0x0106, 0x0110, 10752, 412903, 254, 0x000407BA, 271, "OMNIKEY 3x21"},  // contact only
    {0x076B, 0x5022, 0x0101, 0x0110, 12903, 825807, 254, 0x000404BA, 520, "OMNIKEY 5022"},  // contactless
    {0x054C, 0x0DC8, 0x0100, 0x0110, 115200, 921600, 254, 0x0004007E, 522, "RC-S300/S"},
    {0x054C, 0x0DC8, 0x0100, 0x0110, 115200, 921600, 254, 0x0004007E, 522, "RC-S300/S"},
    {0x072F, 0x2200, 0x0207, 0x0100, 10752, 250000, 256, 0x00020040, 271, "ACR122U"},
    {0x072F, 0x223B, 0x0100, 0x0100, 10752, 250000, 254, 0x00040040, 522, "ACR1252"}};

void Put32(Bytes& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

constexpr std::uint8_t kDataBlock = 0x80, kSlotStatus = 0x81, kParameters = 0x82, kEscape = 0x83;
// bError; kOk stands for none (the command did not fail).
constexpr std::uint8_t kCommandNotSupported = 0x00, kBadLength = 0x01, kBadSlot = 0x05, kHwError = 0xFB,
                       kIccMute = 0xFE, kOk = 0xFF;

}  // namespace

CcidReader::CcidReader(PcscModel model)
    : Device(kDescriptors[static_cast<int>(model)].vendor, kDescriptors[static_cast<int>(model)].product,
             kDescriptors[static_cast<int>(model)].name, 0x81, 0x02),
      reader(model) {
  const Descriptor& d = kDescriptors[static_cast<int>(model)];
  bcdDevice = d.bcdDevice;
  interfaceClass = 0x0B;
  endpointInterrupt = 0x83;
  maxMessage_ = d.maxMessage;
  // bLength, bDescriptorType, bcdCCID, bMaxSlotIndex, bVoltageSupport, dwProtocols (T=1), clocks 4 MHz, rates, ...
  classDescriptor = {0x36, 0x21, static_cast<std::uint8_t>(d.bcdCcid & 0xFF), static_cast<std::uint8_t>(d.bcdCcid >> 8),
                     0x00, 0x07};
  Put32(classDescriptor, model == PcscModel::Transparent || model == PcscModel::Unknown ? 3 : 2);
  Put32(classDescriptor, 4000), Put32(classDescriptor, 4000), classDescriptor.push_back(0);
  Put32(classDescriptor, d.dataRate), Put32(classDescriptor, d.maxDataRate), classDescriptor.push_back(0);
  Put32(classDescriptor, d.maxIfsd), Put32(classDescriptor, 0), Put32(classDescriptor, 0);
  Put32(classDescriptor, d.features), Put32(classDescriptor, d.maxMessage);
  Append(classDescriptor, Bytes{0x00, 0x00, 0x00, 0x00, 0x00, 0x01});  // no LCD, no PIN pad, one busy slot
}

void CcidReader::Place(std::shared_ptr<FelicaCard> card) {
  std::lock_guard lock(fakeusb::Lock());
  present_ = card != nullptr, powered_ = failsWhereTheCardFallsSilent = false;
  reader.Place(std::move(card));
  Notify({0x50, static_cast<std::uint8_t>(present_ ? 0x03 : 0x02)});  // slot 0 changed, and whether a card is there
}

// Header: bMessageType, dwLength (LE), bSlot, bSeq, then bStatus, bError and one byte of the message's own.
void CcidReader::Reply(std::uint8_t type, std::uint8_t seq, std::uint8_t error, const Bytes& data,
                       fakeusb::Clock::duration after) {
  Bytes message{type};
  Put32(message, static_cast<std::uint32_t>(data.size()));
  const std::uint8_t status = static_cast<std::uint8_t>(SlotStatus() | (error != kOk ? 0x40 : 0x00));
  Append(message, Bytes{0x00, seq, status, static_cast<std::uint8_t>(error != kOk ? error : 0), 0x00}),
      Append(message, data);
  Queue(std::move(message), after);
}

void CcidReader::Received(const Bytes& transfer) {
  if (transfer.size() < 10) return;  // not a message: nothing answers it
  const std::uint8_t type = transfer[0], seq = transfer[6];
  const std::uint32_t length = transfer[1] | transfer[2] << 8 | transfer[3] << 16 | transfer[4] << 24;
  const Bytes data(transfer.begin() + 10, transfer.end());
  const bool block = type == 0x62 || type == 0x6F, parameters = type == 0x61 || type == 0x6C || type == 0x6D;
  const std::uint8_t answer = block ? kDataBlock : type == 0x6B ? kEscape : parameters ? kParameters : kSlotStatus;
  if (length != data.size() || transfer.size() > maxMessage_) return Reply(answer, seq, kBadLength);
  if (transfer[5] != 0) return Reply(answer, seq, kBadSlot);
  if (!present_ && reader.card && cardBack_ != fakeusb::Clock::time_point{} && fakeusb::Clock::now() >= cardBack_) {
    present_ = true, cardBack_ = {};
  }
  if (present_ && !reader.card->Present()) {  // the card left the field: the reader says so
    if (type == 0x6F && std::exchange(failsWhereTheCardFallsSilent, false)) return Reply(kDataBlock, seq, kHwError);
    present_ = powered_ = false;
    Notify({0x50, 0x02});
  }
  switch (type) {
    case 0x65: return Reply(kSlotStatus, seq, kOk);  // GetSlotStatus
    case 0x62:                                       // IccPowerOn
      if (!present_) return Reply(kDataBlock, seq, kIccMute);
      powered_ = true;
      reader.PowerOff();
      return Reply(kDataBlock, seq, kOk, reader.Atr());
    case 0x63:  // IccPowerOff
      powered_ = false;
      reader.PowerOff();
      return Reply(kSlotStatus, seq, kOk);
    case 0x6F:    // XfrBlock
    case 0x6B: {  // Escape: to the reader, card or none
      if (type == 0x6F && !powered_) return Reply(kDataBlock, seq, kIccMute);
      const auto reply = reader.Respond(data, type == 0x6B);
      if (std::exchange(reader.droppedCard, false)) {  // gone now, found again in 50 ms
        present_ = powered_ = false, cardBack_ = fakeusb::Clock::now() + std::chrono::milliseconds(50);
        Notify({0x50, 0x02}), Notify({0x50, 0x03}, std::chrono::milliseconds(50));
      }
      return Reply(answer, seq, kOk, reply.data, reply.after);
    }
    default: return Reply(answer, seq, kCommandNotSupported);
  }
}

}  // namespace emulator
