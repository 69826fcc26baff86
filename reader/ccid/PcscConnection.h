#pragma once
// One PC/SC reader's card, connected (shared) and held in a transaction for
// as long as this lives: no other PC/SC program (a second copy of this one,
// a desktop daemon probing cards) can slip its APDUs in between ours. Every
// call goes through a worker (PcscWorker.h) and ends by the press's deadline.

#include <PCSC/winscard.h>
#include <PCSC/wintypes.h>

#include <memory>
#include <optional>
#include <string>

#include "Dialects.h"
#include "PcscWorker.h"

namespace ccid {

// A pcsc-lite result in the library's terms.
reader::Unexpected PcscFailure(LONG error);
// pcscd's refusal of this user by polkit, and its fix.
reader::Unexpected PolkitRefusal();

class PcscConnection : public Channel {
 public:
  // Within kBusyWait and before the press's deadline, whatever another
  // program does with the reader: Timeout when the reader holds no card;
  // ReaderAccess when polkit refuses, or another program holds the reader
  // alone or keeps its transaction. Every call after ends by the deadline.
  static reader::Expected<std::unique_ptr<PcscConnection>> Open(const std::string& reader, Deadline deadline);
  ~PcscConnection() override = default;  // the worker ends the transaction and leaves the card as it is

  // In a transmit (CCID XfrBlock), or as a CCID escape once SendByEscape.
  reader::Expected<reader::Bytes> Transmit(std::span<const std::uint8_t> apdu) override;
  // By the CCID escape where the reader lists one: it reaches the reader with no card in the field.
  reader::Expected<reader::Bytes> ToReader(std::span<const std::uint8_t> apdu) override;
  // Whether the reader lists the CCID escape among its features; libccid
  // lists it only where its ifdDriverOptions allow it (bit 0x01).
  bool HasEscape();
  void SendByEscape() { byEscape_ = true; }

 private:
  PcscConnection(std::unique_ptr<PcscWorker> worker, std::string reader, Deadline deadline);
  std::optional<LONG> Run(std::function<LONG(PcscHandles&)> call) { return worker_->Run(std::move(call), deadline_); }
  reader::Expected<reader::Bytes> Escape(std::span<const std::uint8_t> apdu);
  // After pcscd's catch-all "not transacted": whether the card left, by the reader's state.
  bool CardLeft();
  // A call that the deadline cut short: the reader or pcscd kept it (another program's transaction, a silent reader).
  static reader::Unexpected TooLate();

  std::unique_ptr<PcscWorker> worker_;
  std::string reader_;
  Deadline deadline_;
  std::optional<std::optional<DWORD>> escapeCode_;  // asked once
  bool byEscape_ = false;
};

}  // namespace ccid
