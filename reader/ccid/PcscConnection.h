#pragma once
// One PC/SC reader's card, connected on a PC/SC context of its own and held
// in a transaction for as long as this lives: no other PC/SC program (a
// second copy of this one, a desktop daemon probing cards) can slip its
// APDUs in between ours.

#include <PCSC/winscard.h>
#include <PCSC/wintypes.h>

#include <memory>
#include <string>

#include "Dialects.h"

namespace ccid {

// A pcsc-lite result in the library's terms.
reader::Unexpected PcscFailure(LONG error);
// pcscd's refusal of this user by polkit, and its fix.
reader::Unexpected PolkitRefusal();

class PcscConnection : public Channel {
 public:
  enum class Way {
    Transmit,  // APDUs to the card's connection (CCID XfrBlock)
    Escape,    // APDUs to the reader itself on a direct connection (CCID Escape, SCardControl)
  };
  // Timeout when the reader holds no card; ReaderAccess when polkit refuses
  // or another program keeps the reader's transaction longer than we wait.
  static reader::Expected<std::unique_ptr<PcscConnection>> Open(const std::string& reader, Way way = Way::Transmit);
  ~PcscConnection() override;  // ends the transaction and leaves the card as it is
  PcscConnection(const PcscConnection&) = delete;
  PcscConnection& operator=(const PcscConnection&) = delete;

  reader::Expected<reader::Bytes> Transmit(std::span<const std::uint8_t> apdu) override;
  // True once after another program reset the card (what the reader had set up is gone).
  bool TakeReset();

 private:
  PcscConnection(SCARDCONTEXT context, SCARDHANDLE card, DWORD protocol, std::string reader, Way way);
  reader::Expected<reader::Bytes> Escape(std::span<const std::uint8_t> apdu);
  // After pcscd's catch-all "not transacted": whether the card left, by the reader's state.
  bool CardLeft();

  SCARDCONTEXT context_;
  SCARDHANDLE card_;
  DWORD protocol_;
  std::string reader_;
  Way way_;
  bool reset_ = false;
};

}  // namespace ccid
