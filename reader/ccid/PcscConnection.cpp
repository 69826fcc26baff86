#include "PcscConnection.h"

#include <PCSC/reader.h>

#include <chrono>
#include <future>
#include <utility>

#include "Trace.h"

namespace ccid {
namespace {

using namespace std::chrono_literals;
using reader::ErrorKind;
using reader::Fail;

// How long a press waits for another program's transaction to end: longer
// than a whole press of a second copy of this program takes.
constexpr auto kBusyWait = 1500ms;
// How long pcscd may take to notice a card that left, after a failed transmit.
constexpr auto kRemovalNotice = 100ms;

bool NoCard(LONG error) {
  return error == SCARD_W_REMOVED_CARD || error == SCARD_E_NO_SMARTCARD || error == SCARD_W_UNPOWERED_CARD ||
         error == SCARD_W_UNRESPONSIVE_CARD;
}

// pcsc-lite retries SCardBeginTransaction for as long as another program
// holds the transaction. Releasing the context the retries run on ends them.
LONG BeginTransactionWithin(SCARDCONTEXT context, SCARDHANDLE card) {
  auto begun = std::async(std::launch::async, [card] { return SCardBeginTransaction(card); });
  if (begun.wait_for(kBusyWait) == std::future_status::ready) return begun.get();
  SCardReleaseContext(context);
  begun.wait();
  return SCARD_E_SHARING_VIOLATION;
}

}  // namespace

reader::Unexpected PolkitRefusal() {
  return Fail(ErrorKind::ReaderAccess,
              "pcscd refused this program: polkit lets only the user at the machine's own seat use PC/SC; "
              "over SSH or from a service, allow org.debian.pcsc-lite.access_pcsc by a polkit rule");
}

reader::Unexpected PcscFailure(LONG error) {
  const std::string text = pcsc_stringify_error(error);
  if (NoCard(error)) return Fail(ErrorKind::CardLost, text);
  if (error == SCARD_W_SECURITY_VIOLATION) return PolkitRefusal();
  if (error == SCARD_E_NO_SERVICE || error == SCARD_E_SERVICE_STOPPED || error == SCARD_E_READER_UNAVAILABLE ||
      error == SCARD_E_UNKNOWN_READER) {
    return Fail(ErrorKind::NoReader, text);
  }
  return Fail(ErrorKind::Transmission, text);
}

reader::Expected<std::unique_ptr<PcscConnection>> PcscConnection::Open(const std::string& reader, Way way) {
  SCARDCONTEXT context = 0;
  if (const LONG error = SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context);
      error != SCARD_S_SUCCESS) {
    return PcscFailure(error);
  }
  SCARDHANDLE card = 0;
  DWORD protocol = 0;
  LONG error = SCardConnect(context, reader.c_str(), SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &card,
                            &protocol);
  if (error == SCARD_S_SUCCESS) {
    error = BeginTransactionWithin(context, card);
    if (error == SCARD_E_SHARING_VIOLATION) {
      return Fail(ErrorKind::ReaderAccess, reader + ": another PC/SC program is using the reader; press READ again");
    }
    if (error == SCARD_S_SUCCESS)
      return std::unique_ptr<PcscConnection>(new PcscConnection(context, card, protocol, reader, way));
    SCardDisconnect(card, SCARD_LEAVE_CARD);
  }
  SCardReleaseContext(context);
  if (NoCard(error)) return Fail(ErrorKind::Timeout);
  return PcscFailure(error);
}

PcscConnection::PcscConnection(SCARDCONTEXT context, SCARDHANDLE card, DWORD protocol, std::string reader, Way way)
    : context_(context), card_(card), protocol_(protocol), reader_(std::move(reader)), way_(way) {}

PcscConnection::~PcscConnection() {
  SCardEndTransaction(card_, SCARD_LEAVE_CARD);
  SCardDisconnect(card_, SCARD_LEAVE_CARD);
  SCardReleaseContext(context_);
}

// libccid passes SCARD_CTL_CODE(1) on to the reader as a CCID Escape, if
// its ifdDriverOptions allow it (bit 0x01; Debian ships 0x0000).
reader::Expected<reader::Bytes> PcscConnection::Escape(std::span<const std::uint8_t> apdu) {
  using reader::trace::Direction;
  reader::trace::Bytes("escape", Direction::ToReader, apdu);
  reader::Bytes response(512, 0);
  DWORD size = 0;
  const LONG error = SCardControl(card_, SCARD_CTL_CODE(1), apdu.data(), static_cast<DWORD>(apdu.size()),
                                  response.data(), static_cast<DWORD>(response.size()), &size);
  if (error == SCARD_E_NOT_TRANSACTED) {
    return Fail(ErrorKind::ReaderAccess,
                "the reader refuses FeliCa commands in a transmit, and libccid does not pass them on as a "
                "CCID escape: set ifdDriverOptions to 0x0001 in /etc/libccid_Info.plist, then restart pcscd");
  }
  if (error != SCARD_S_SUCCESS) return PcscFailure(error);
  response.resize(size);
  reader::trace::Bytes("escape", Direction::FromReader, response);
  return response;
}

reader::Expected<reader::Bytes> PcscConnection::Transmit(std::span<const std::uint8_t> apdu) {
  if (way_ == Way::Escape) return Escape(apdu);
  using reader::trace::Direction;
  reader::trace::Bytes("apdu", Direction::ToReader, apdu);
  reader::Bytes response(512, 0);
  DWORD size = static_cast<DWORD>(response.size());
  const SCARD_IO_REQUEST* pci = protocol_ == SCARD_PROTOCOL_T0 ? SCARD_PCI_T0 : SCARD_PCI_T1;
  LONG error = SCardTransmit(card_, pci, apdu.data(), static_cast<DWORD>(apdu.size()), nullptr, response.data(), &size);
  if (error == SCARD_W_RESET_CARD) {
    // Another program reset the card: whatever the reader had set up is gone.
    reset_ = true;
    error =
        SCardReconnect(card_, SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, SCARD_LEAVE_CARD, &protocol_);
    if (error == SCARD_S_SUCCESS) error = SCardBeginTransaction(card_);
    if (error == SCARD_S_SUCCESS) return Fail(ErrorKind::Transmission, "the card was reset");
  }
  // pcscd says "not transacted" for any failure of the driver, not only for a card that left.
  if (error == SCARD_E_NOT_TRANSACTED && CardLeft()) return Fail(ErrorKind::CardLost, pcsc_stringify_error(error));
  if (error != SCARD_S_SUCCESS) return PcscFailure(error);
  response.resize(size);
  // GET DATA answers the IDm bare, outside any frame.
  const bool idm = apdu.size() >= 2 && apdu[0] == 0xFF && apdu[1] == 0xCA;
  reader::trace::Bytes("apdu", Direction::FromReader, response, idm && size >= 2 ? size - 2 : 0);
  return response;
}

bool PcscConnection::CardLeft() {
  DWORD state = 0, protocol = 0, nameSize = 0, atrSize = 0;
  const LONG error = SCardStatus(card_, nullptr, &nameSize, &state, &protocol, nullptr, &atrSize);
  if (NoCard(error) || (error == SCARD_S_SUCCESS && (state & SCARD_ABSENT))) return true;
  // pcscd may not have heard from the reader yet: give it a moment to say.
  SCARD_READERSTATE reader{};
  reader.szReader = reader_.c_str();
  reader.dwCurrentState = SCARD_STATE_PRESENT;
  return SCardGetStatusChange(context_, static_cast<DWORD>(kRemovalNotice.count()), &reader, 1) == SCARD_S_SUCCESS &&
         (reader.dwEventState & SCARD_STATE_EMPTY);
}

bool PcscConnection::TakeReset() { return std::exchange(reset_, false); }

}  // namespace ccid
