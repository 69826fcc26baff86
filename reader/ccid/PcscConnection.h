#pragma once
// One PC/SC reader's card, connected (shared) on a PC/SC context of its own
// and held in a transaction for as long as this lives: no other PC/SC
// program (a second copy of this one, a desktop daemon probing cards) can
// slip its APDUs in between ours.

#include <PCSC/winscard.h>
#include <PCSC/wintypes.h>

#include <memory>
#include <optional>
#include <string>

#include "Dialects.h"

namespace ccid {

// A pcsc-lite result in the library's terms.
reader::Unexpected PcscFailure(LONG error);
// pcscd's refusal of this user by polkit, and its fix.
reader::Unexpected PolkitRefusal();

class PcscConnection : public Channel {
 public:
  // Within a bounded wait, whatever another program does with the reader:
  // Timeout when the reader holds no card; ReaderAccess when polkit refuses
  // or another program keeps the reader's transaction longer than we wait.
  static reader::Expected<std::unique_ptr<PcscConnection>> Open(const std::string& reader);
  ~PcscConnection() override;  // ends the transaction and leaves the card as it is
  PcscConnection(const PcscConnection&) = delete;
  PcscConnection& operator=(const PcscConnection&) = delete;

  // In a transmit (CCID XfrBlock), or as a CCID escape once SendByEscape.
  reader::Expected<reader::Bytes> Transmit(std::span<const std::uint8_t> apdu) override;
  // By the CCID escape where the reader lists one: it reaches the reader with no card in the field.
  reader::Expected<reader::Bytes> ToReader(std::span<const std::uint8_t> apdu) override;
  // Whether the reader lists the CCID escape among its features; libccid
  // lists it only where its ifdDriverOptions allow it (bit 0x01).
  bool HasEscape();
  void SendByEscape() { byEscape_ = true; }

 private:
  PcscConnection(SCARDCONTEXT context, SCARDHANDLE card, DWORD protocol, std::string reader);
  reader::Expected<reader::Bytes> Escape(std::span<const std::uint8_t> apdu);
  // After pcscd's catch-all "not transacted": whether the card left, by the reader's state.
  bool CardLeft();

  SCARDCONTEXT context_;
  SCARDHANDLE card_;
  DWORD protocol_;
  std::string reader_;
  std::optional<std::optional<DWORD>> escapeCode_;  // asked once
  bool byEscape_ = false;
};

}  // namespace ccid
