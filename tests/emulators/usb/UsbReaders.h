#pragma once
// The USB readers on the fake bus, each as its chip's documentation and
// the host software that drives it (nfcpy, the Linux port100 and pn533
// drivers, libnfc) describe it.

#include "emulators/Pn53xChip.h"
#include "emulators/usb/FakeUsb.h"

namespace fakeusb {

// RC-S380 (NFC Port-100): extended frames 00 00 FF FF FF LEN(LE) LCS D6 … DCS 00,
// each answered by an ACK and then a D7 frame. InCommRF's failure answer is
// the four error bytes alone.
class Rcs380 : public Device {
 public:
  explicit Rcs380(std::shared_ptr<emulator::FelicaCard> card);
  void Received(const Bytes& transfer) override;

  std::shared_ptr<emulator::FelicaCard> card;
  bool silent = false;                     // the firmware never answers
  std::optional<std::size_t> unplugAfter;  // commands; then the reader is pulled out
  std::size_t lateCommand = 0;             // from 1: the ACK and answer of that command come 150 ms late
  // Habits in records of real RC-S380s (nfcpy's issue logs), from command `hiccupAt` on, that many in a row: a
  // command ACKed and never answered (a lost first answer), the chip's error frame where the ACK is due.
  std::size_t hiccupAt = 0;
  int unanswered = 0, errorFrames = 0;
  std::vector<std::uint8_t> commands;

 private:
  Clock::duration late_{};
  void Respond(std::uint8_t command, Bytes results, Clock::duration after = std::chrono::microseconds(500));
  bool commandType1_ = false;
  bool felica212_ = false;
};

// A PN533 or an RC-S956 (RC-S330/360/370) on USB: PN53x host frames on the
// bulk pipes. The RC-S956 does not know NACK and answers it with the
// syntax error frame.
class Pn53xUsb : public Device {
 public:
  Pn53xUsb(emulator::Pn53xModel model, std::shared_ptr<emulator::FelicaCard> card);
  void Received(const Bytes& transfer) override;
  emulator::Pn53xChip chip;
  bool silent = false;             // the firmware never answers
  std::optional<int> unplugAfter;  // InDataExchange commands; then the reader is pulled out

 private:
  Bytes input_;
  Bytes last_;
};

// ACR122U: a PN532 behind CCID; PN532 commands go as the pseudo-APDU
// FF 00 00 00 Lc D4 … in PC_to_RDR_XfrBlock and come back as D5 … 90 00 in
// RDR_to_PC_DataBlock.
class Acr122Usb : public Device {
 public:
  explicit Acr122Usb(std::shared_ptr<emulator::FelicaCard> card);
  void Received(const Bytes& transfer) override;
  emulator::Pn53xChip chip{emulator::Pn53xModel::Pn532};
};

// PN532 commands in an ACR122U pseudo-APDU (also through PC/SC): the answer's
// data and status word, and when it is due; nullopt while the chip polls on.
std::optional<std::pair<Bytes, Clock::duration>> Acr122Apdu(emulator::Pn53xChip& chip,
                                                            std::span<const std::uint8_t> apdu);

}  // namespace fakeusb
