#pragma once
// A contactless reader's answers to the APDUs it gets (in a CCID XfrBlock or, where its maker says so, an Escape),
// as one of these readers does by its maker's documentation, strictly (a malformed data object gets 67 00):
//   Unknown        contact only: its card answers a contact ATR; every pseudo-APDU but GET DATA is refused
//   Transparent    PC/SC part 3 transparent session
//   Rcs300         the same, as records of a real RC-S300 show it: refusals are status objects under 90 00 (01 63 01
//                  RF on outside a session, 01 64 01 no timer, 01 67 00 a wrong length, 01 6A 81 a value it lacks),
//                  instruction 50 as well as C2, answers carry 92 and 96, no answer is C0 03 02 64 01; it hears the
//                  card once the field is cycled (83 00, 84 00) in the session, and not by a polling within 20 ms
//                  (as a variant of that habit, a field that takes 40 ms: the polling after the settle time misses)
//   Rcs300Escape   the session only in an Escape (in a transmit: 6D 00); as precautions no record shows, Le insisted
//                  on and no second session while one is open
//   Acr122u        no transparent session (6A 81); a PN532 behind direct transmit
//   Acr1252u       a session (not a second one), but no switch to FeliCa; FeliCa frames by direct transmit
#include <memory>

#include "emulators/Pn53xChip.h"
#include "emulators/usb/FakeUsb.h"

namespace emulator {

enum class PcscModel { Unknown, Transparent, Rcs300, Rcs300Escape, Acr122u, Acr1252u };
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
  fakeusb::Clock::duration fieldSettles = std::chrono::milliseconds(20);  // after RF on, before it hears the card

 private:
  ReaderAnswer ManageSession(const Bytes& objects);
  ReaderAnswer TransparentExchange(const Bytes& objects);
  ReaderAnswer DirectTransmit(std::span<const std::uint8_t> apdu);
  ReaderAnswer Refused(std::uint8_t sw1, std::uint8_t sw2) const;  // as a status object on an RC-S300
  bool Rcs300() const { return model == PcscModel::Rcs300 || model == PcscModel::Rcs300Escape; }

  Pn53xChip chip_{Pn53xModel::Pn532};
  bool felica_ = false, fieldOff_ = false, fieldCycled_ = false;
  fakeusb::Clock::time_point fieldOn_{};
};

}  // namespace emulator
