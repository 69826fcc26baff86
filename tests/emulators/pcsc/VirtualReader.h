#pragma once
// A contactless reader with a FeliCa card, behind vsmartcard's virtual
// PC/SC driver (vpcd): it connects to the driver's port and answers the
// APDUs pcscd passes on, as one of these readers does by its maker's
// documentation, strictly (a malformed data object gets 67 00):
//   Transparent  PC/SC part 3 transparent session
//   Rcs300       the same, with the RC-S300's ways: the timer object is
//                mandatory, answers carry 92 and 96, no answer is
//                C0 03 02 64 01, and the card is heard only after the field
//                has been cycled in the session (83 00, 84 00)
//   Acr122u      no transparent session (6A 81); a PN532 behind direct transmit
//   Acr1252u     a session, but no switch to FeliCa; FeliCa frames by direct transmit
//   Unknown      none of these: every pseudo-APDU but GET DATA is refused (6D 00)
// The card leaving the field takes the card from the reader: the
// connection to vpcd closes.

#include <memory>
#include <optional>
#include <thread>

#include "emulators/Pn53xChip.h"

namespace emulator {

enum class PcscModel { Transparent, Rcs300, Acr122u, Acr1252u, Unknown };

class VirtualReader {
 public:
  VirtualReader(int port, PcscModel model, std::shared_ptr<FelicaCard> card);
  ~VirtualReader();
  VirtualReader(const VirtualReader&) = delete;
  VirtualReader& operator=(const VirtualReader&) = delete;

  bool Connected() const { return socket_ >= 0; }

 private:
  void Serve();
  std::optional<Bytes> ReceiveMessage();
  void SendMessage(const Bytes& message);
  Bytes Respond(const Bytes& apdu);
  Bytes ManageSession(const Bytes& objects);
  Bytes TransparentExchange(const Bytes& objects);
  Bytes DirectTransmit(std::span<const std::uint8_t> apdu);

  PcscModel model_;
  std::shared_ptr<FelicaCard> card_;
  Pn53xChip chip_{Pn53xModel::Pn532};
  int socket_ = -1;
  int stop_[2] = {-1, -1};
  bool session_ = false, felica_ = false, fieldOff_ = false, fieldCycled_ = false;
  std::thread thread_;
};

}  // namespace emulator
