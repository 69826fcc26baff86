#pragma once
// A contactless reader with a FeliCa card, played behind vsmartcard's
// virtual PC/SC driver (vpcd): it connects to the driver's port, answers
// the contactless ATR, GET DATA and the transparent-session pseudo-APDUs,
// strictly (a wrong Lc or a malformed data object gets 67 00), and plays
// the simulated card of a card image.

#include <atomic>
#include <optional>
#include <thread>

#include "CardImage.h"
#include "SimTransport.h"

namespace emulator {

struct VirtualFaults {
  std::optional<int> disconnectAfterApdus;  // the card leaves: the connection closes
  std::optional<int> emptyAnswerAfterApdus;  // then answers with less than a status word
};

class VirtualFelicaCard {
 public:
  VirtualFelicaCard(int port, sim::CardImage card, VirtualFaults faults = {});
  ~VirtualFelicaCard();
  VirtualFelicaCard(const VirtualFelicaCard&) = delete;
  VirtualFelicaCard& operator=(const VirtualFelicaCard&) = delete;

  bool Connected() const { return socket_ >= 0; }

 private:
  void Serve();
  bool ReceiveMessage(felica::Bytes& message);
  void SendMessage(const felica::Bytes& message);
  felica::Bytes Respond(const felica::Bytes& apdu);
  felica::Bytes Transparent(std::uint8_t p2, std::span<const std::uint8_t> objects);

  int socket_ = -1;
  int stop_[2] = {-1, -1};
  sim::SimTransport field_;
  felica::Idm idm_;
  VirtualFaults faults_;
  int apdus_ = 0;
  bool session_ = false;
  bool felica_ = false;
  std::thread thread_;
};

}  // namespace emulator
