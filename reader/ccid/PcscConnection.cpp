#include "PcscConnection.h"

#include <PCSC/reader.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
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

// What one attempt to connect got, shared by the press and the thread that makes it.
struct Attempt {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false, abandoned = false;
  LONG error = SCARD_S_SUCCESS;
  SCARDCONTEXT context = 0;
  SCARDHANDLE card = 0;
  DWORD protocol = 0;
};

void Close(SCARDCONTEXT context, SCARDHANDLE card, bool inTransaction) {
  if (inTransaction) SCardEndTransaction(card, SCARD_LEAVE_CARD);
  if (card) SCardDisconnect(card, SCARD_LEAVE_CARD);
  if (context) SCardReleaseContext(context);
}

// On a thread of its own, with a context of its own: pcscd holds SCardConnect
// and SCardBeginTransaction for as long as another program keeps the
// reader's transaction, and the client library waits without a bound. A
// press that stops waiting leaves the context to this thread, which closes
// what it got once pcsc-lite lets it go; until then no other thread touches
// that context.
void Connect(const std::string& reader, const std::shared_ptr<Attempt>& attempt) {
  SCARDCONTEXT context = 0;
  SCARDHANDLE card = 0;
  DWORD protocol = 0;
  constexpr DWORD kProtocols = SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1;
  LONG error = SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context);
  if (error == SCARD_S_SUCCESS)
    error = SCardConnect(context, reader.c_str(), SCARD_SHARE_SHARED, kProtocols, &card, &protocol);
  if (error == SCARD_S_SUCCESS) error = SCardBeginTransaction(card);
  // Another program reset the card after our connect: nothing of ours was set up yet.
  for (int again = 0; error == SCARD_W_RESET_CARD && again < 3; ++again) {
    error = SCardReconnect(card, SCARD_SHARE_SHARED, kProtocols, SCARD_LEAVE_CARD, &protocol);
    if (error == SCARD_S_SUCCESS) error = SCardBeginTransaction(card);
  }
  std::unique_lock lock(attempt->mutex);
  if (attempt->abandoned || error != SCARD_S_SUCCESS) {
    lock.unlock();
    Close(context, card, error == SCARD_S_SUCCESS);
    context = card = 0;
    lock.lock();
  }
  attempt->error = error;
  attempt->context = context;
  attempt->card = card;
  attempt->protocol = protocol;
  attempt->done = true;
  attempt->finished.notify_one();
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

reader::Expected<std::unique_ptr<PcscConnection>> PcscConnection::Open(const std::string& reader) {
  auto attempt = std::make_shared<Attempt>();
  std::thread(Connect, reader, attempt).detach();
  std::unique_lock lock(attempt->mutex);
  if (!attempt->finished.wait_for(lock, kBusyWait, [&] { return attempt->done; })) {
    attempt->abandoned = true;
    return Fail(ErrorKind::ReaderAccess, reader + ": another PC/SC program is using the reader; press READ again");
  }
  if (attempt->error == SCARD_S_SUCCESS) {
    return std::unique_ptr<PcscConnection>(
        new PcscConnection(attempt->context, attempt->card, attempt->protocol, reader));
  }
  if (NoCard(attempt->error)) return Fail(ErrorKind::Timeout);
  return PcscFailure(attempt->error);
}

PcscConnection::PcscConnection(SCARDCONTEXT context, SCARDHANDLE card, DWORD protocol, std::string reader)
    : context_(context), card_(card), protocol_(protocol), reader_(std::move(reader)) {}

PcscConnection::~PcscConnection() { Close(context_, card_, true); }

bool PcscConnection::HasEscape() {
  if (!escapeCode_) {
    // PC/SC part 10: tag, length 4, control code (big-endian), for each feature.
    reader::Bytes features(256, 0);
    DWORD size = 0;
    escapeCode_.emplace();
    if (SCardControl(card_, CM_IOCTL_GET_FEATURE_REQUEST, nullptr, 0, features.data(),
                     static_cast<DWORD>(features.size()), &size) == SCARD_S_SUCCESS) {
      for (DWORD at = 0; at + 6 <= size; at += 2 + features[at + 1]) {
        if (features[at] == FEATURE_CCID_ESC_COMMAND && features[at + 1] == 4) {
          escapeCode_->emplace(DWORD{features[at + 2]} << 24 | DWORD{features[at + 3]} << 16 |
                               DWORD{features[at + 4]} << 8 | features[at + 5]);
        }
      }
    }
  }
  return escapeCode_->has_value();
}

reader::Expected<reader::Bytes> PcscConnection::ToReader(std::span<const std::uint8_t> apdu) {
  return HasEscape() ? Escape(apdu) : Transmit(apdu);
}

// libccid waits up to 30 s for the reader's answer to an escape: only
// readers that need it get one.
reader::Expected<reader::Bytes> PcscConnection::Escape(std::span<const std::uint8_t> apdu) {
  using reader::trace::Direction;
  reader::trace::Bytes("escape", Direction::ToReader, apdu);
  reader::Bytes response(512, 0);
  DWORD size = 0;
  const LONG error = SCardControl(card_, **escapeCode_, apdu.data(), static_cast<DWORD>(apdu.size()), response.data(),
                                  static_cast<DWORD>(response.size()), &size);
  if (error != SCARD_S_SUCCESS) return PcscFailure(error);
  response.resize(size);
  reader::trace::Bytes("escape", Direction::FromReader, response);
  return response;
}

reader::Expected<reader::Bytes> PcscConnection::Transmit(std::span<const std::uint8_t> apdu) {
  if (byEscape_) return Escape(apdu);
  using reader::trace::Direction;
  reader::trace::Bytes("apdu", Direction::ToReader, apdu);
  reader::Bytes response(512, 0);
  DWORD size = static_cast<DWORD>(response.size());
  const SCARD_IO_REQUEST* pci = protocol_ == SCARD_PROTOCOL_T0 ? SCARD_PCI_T0 : SCARD_PCI_T1;
  const LONG error =
      SCardTransmit(card_, pci, apdu.data(), static_cast<DWORD>(apdu.size()), nullptr, response.data(), &size);
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

}  // namespace ccid
