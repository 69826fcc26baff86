#pragma once
// A contactless reader's answers to the APDUs it gets (in a CCID XfrBlock or, where its maker says so, an Escape),
// as one of these readers does by its maker's documentation, strictly (a malformed data object gets 67 00):
//   Transparent    PC/SC part 3 transparent session
//   Rcs300         the same, with the RC-S300's ways: Le on every session pseudo-APDU, no second session while one
//                  is open, the timer object is mandatory, answers carry 92 and 96, no answer is C0 03 02 64 01, and
//                  the card is heard only after the field has been cycled in a session since it came (83 00, 84 00)
//   Rcs300Escape   an RC-S300 that takes the session only in an Escape (in a transmit: 6D 00)
//   Acr122u        no transparent session (6A 81); a PN532 behind direct transmit
//   Acr1252u       a session, but no switch to FeliCa; FeliCa frames by direct transmit
//   Unknown        none of these: every pseudo-APDU but GET DATA is refused (6D 00)

#include <memory>

#include "emulators/Pn53xChip.h"
#include "emulators/usb/FakeUsb.h"

namespace emulator {

enum class PcscModel { Transparent, Rcs300, Rcs300Escape, Acr122u, Acr1252u, Unknown };
inline constexpr int kPcscModels = 6;

struct ReaderAnswer {
  Bytes data;  // with the status word
  fakeusb::Clock::duration after{};
};

class ContactlessReader {
 public:
  explicit ContactlessReader(PcscModel model) : model(model) {}
  Bytes Atr() const;
  ReaderAnswer Respond(const Bytes& apdu, bool escape);
  void PowerOff() { session = felica_ = false; }
  void Place(std::shared_ptr<FelicaCard> card);

  const PcscModel model;
  std::shared_ptr<FelicaCard> card;
  bool session = false;  // a transparent session is open (a killed program may leave one)
  // Switching the field off in a session makes it report the card gone (for a moment, while it finds it again).
  bool dropsCardAtFieldOff = false, droppedCard = false;

 private:
  ReaderAnswer ManageSession(const Bytes& objects);
  ReaderAnswer TransparentExchange(const Bytes& objects);
  ReaderAnswer DirectTransmit(std::span<const std::uint8_t> apdu);

  Pn53xChip chip_{Pn53xModel::Pn532};
  bool felica_ = false, fieldOff_ = false, fieldCycled_ = false;
};

}  // namespace emulator
