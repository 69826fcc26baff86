#pragma once
// A contactless reader on the USB as a CCID device (CCID rev. 1.1): its bulk messages, its slot's status and the
// NotifySlotChange on its interrupt pipe, with the descriptor libccid's dump of it gives. Strict as the device: a
// wrong length, slot or message type is refused with the CCID error for it; every answer carries the command's bSeq.

#include "emulators/ccid/ContactlessReader.h"

namespace emulator {

class CcidReader : public fakeusb::Device {
 public:
  explicit CcidReader(PcscModel model);
  void Received(const Bytes& transfer) override;
  // The card comes into the field (nullptr: it leaves); the host is notified.
  void Place(std::shared_ptr<FelicaCard> card);
  ContactlessReader reader;
  bool failsWhereTheCardFallsSilent = false;  // once: a hardware error (CCID HW_ERROR) before it sees the card gone

 private:
  std::uint8_t SlotStatus() const { return present_ ? (powered_ ? 0x00 : 0x01) : 0x02; }
  void Reply(std::uint8_t type, std::uint8_t seq, std::uint8_t error, const Bytes& data = {},
             fakeusb::Clock::duration after = {});

  std::uint32_t maxMessage_;
  fakeusb::Clock::time_point cardBack_{};  // when the card the field lost is found again
  bool present_ = false, powered_ = false;
};

}  // namespace emulator
