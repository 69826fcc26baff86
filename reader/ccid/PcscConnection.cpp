#include "PcscConnection.h"

#include <PCSC/reader.h>

#include <algorithm>
#include <chrono>
#include <utility>

#include "Trace.h"

namespace ccid {
namespace {

using namespace std::chrono_literals;
using reader::ErrorKind;
using reader::Fail;

// How long a connect waits for another program's transaction to end: longer than a whole press of a second copy
// of this program takes.
constexpr auto kBusyWait = 1500ms;
// How long pcscd may take to notice a card that left, after a failed transmit.
constexpr auto kRemovalNotice = 100ms;

bool NoCard(LONG error) {
  return error == SCARD_W_REMOVED_CARD || error == SCARD_E_NO_SMARTCARD || error == SCARD_W_UNPOWERED_CARD ||
         error == SCARD_W_UNRESPONSIVE_CARD;
}

// What one call sends and gets back; the call owns it, so that a call the press stopped waiting for writes only here.
struct Buffers {
  reader::Bytes in, out = reader::Bytes(512, 0);
  DWORD size = 0;
};

reader::Unexpected Busy(const std::string& reader) {
  return Fail(ErrorKind::ReaderAccess, reader + ": another PC/SC program is using the reader; press READ again");
}

}  // namespace

reader::Unexpected PolkitRefusal() {
  return Fail(ErrorKind::ReaderAccess,
              "pcscd refused this program: polkit lets only the user at the machine's own seat use PC/SC; "
              "over SSH or from a service, allow org.debian.pcsc-lite.access_pcsc and "
              "org.debian.pcsc-lite.access_card by a polkit rule");
}

reader::Unexpected PcscFailure(LONG error) {
  const std::string text = pcsc_stringify_error(error);
  if (NoCard(error)) return Fail(ErrorKind::CardLost, text);
  switch (error) {
    case SCARD_W_SECURITY_VIOLATION: return PolkitRefusal();
    case SCARD_E_NO_SERVICE:
    case SCARD_F_COMM_ERROR: return Fail(ErrorKind::NoReader, "pcscd went away (" + text + ")");
    case SCARD_E_SERVICE_STOPPED:  // pcscd answers so a client of another protocol version
      return Fail(ErrorKind::NoReader,
                  "this program's libpcsclite does not match the running pcscd: install both from one release, "
                  "then restart pcscd");
    case SCARD_E_READER_UNAVAILABLE:
    case SCARD_E_UNKNOWN_READER: return Fail(ErrorKind::NoReader, "the reader was unplugged (" + text + ")");
    case SCARD_E_SHARING_VIOLATION:
      return Fail(ErrorKind::ReaderAccess, "another program holds the reader alone; close it and press READ again");
    default: return Fail(ErrorKind::Transmission, text);
  }
}

reader::Expected<std::unique_ptr<PcscConnection>> PcscConnection::Open(const std::string& reader, Deadline deadline) {
  LONG established = SCARD_S_SUCCESS;
  auto worker = PcscWorker::Start(reader, deadline, established);
  if (!worker) return established == SCARD_S_SUCCESS ? Busy(reader) : PcscFailure(established);
  // pcscd holds SCardConnect and SCardBeginTransaction for as long as another program keeps the reader's transaction.
  const auto connectBy = std::min(deadline, std::chrono::steady_clock::now() + kBusyWait);
  const auto connected = worker->Run(
      [reader](PcscHandles& handles) {
        constexpr DWORD kProtocols = SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1;
        LONG error = SCardConnect(handles.context, reader.c_str(), SCARD_SHARE_SHARED, kProtocols, &handles.card,
                                  &handles.protocol);
        if (error != SCARD_S_SUCCESS) handles.card = 0;
        if (error == SCARD_S_SUCCESS) error = SCardBeginTransaction(handles.card);
        // Another program reset the card after our connect: nothing of ours was set up yet.
        for (int again = 0; error == SCARD_W_RESET_CARD && again < 3; ++again) {
          error = SCardReconnect(handles.card, SCARD_SHARE_SHARED, kProtocols, SCARD_LEAVE_CARD, &handles.protocol);
          if (error == SCARD_S_SUCCESS) error = SCardBeginTransaction(handles.card);
        }
        handles.inTransaction = error == SCARD_S_SUCCESS;
        return error;
      },
      connectBy);
  if (!connected) return Busy(reader);
  if (*connected == SCARD_S_SUCCESS)
    return std::unique_ptr<PcscConnection>(new PcscConnection(std::move(worker), reader, deadline));
  if (NoCard(*connected)) return Fail(ErrorKind::Timeout);
  // pcscd 1.9 hangs up on a client that polkit refuses a reader (2.x answers so): a pcscd still there did so.
  LONG again = SCARD_S_SUCCESS;
  auto failure = *connected == SCARD_F_COMM_ERROR && (worker.reset(), PcscWorker::Start("", deadline, again))
                     ? PolkitRefusal()
                     : PcscFailure(*connected);
  failure.error().detail = reader + ": " + failure.error().detail;
  return failure;
}

PcscConnection::PcscConnection(std::unique_ptr<PcscWorker> worker, std::string reader, Deadline deadline)
    : worker_(std::move(worker)), reader_(std::move(reader)), deadline_(deadline) {}

reader::Unexpected PcscConnection::TooLate() {
  return Fail(ErrorKind::Transmission,
              "no answer within the press's time (another PC/SC program may have taken the reader, or the reader is "
              "silent)");
}

bool PcscConnection::HasEscape() {
  if (!escapeCode_) {
    // PC/SC part 10: tag, length 4, control code (big-endian), for each feature.
    auto io = std::make_shared<Buffers>();
    escapeCode_.emplace();
    const auto asked = Run([io](PcscHandles& handles) {
      return SCardControl(handles.card, CM_IOCTL_GET_FEATURE_REQUEST, nullptr, 0, io->out.data(),
                          static_cast<DWORD>(io->out.size()), &io->size);
    });
    if (asked == SCARD_S_SUCCESS) {
      const auto& features = io->out;
      for (DWORD at = 0; at + 6 <= io->size; at += 2 + features[at + 1]) {
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
// readers that need it get one, and the deadline holds.
reader::Expected<reader::Bytes> PcscConnection::Escape(std::span<const std::uint8_t> apdu) {
  using reader::trace::Direction;
  reader::trace::Bytes("escape", Direction::ToReader, apdu);
  auto io = std::make_shared<Buffers>(Buffers{reader::Bytes(apdu.begin(), apdu.end())});
  const auto error = Run([io, code = **escapeCode_](PcscHandles& handles) {
    return SCardControl(handles.card, code, io->in.data(), static_cast<DWORD>(io->in.size()), io->out.data(),
                        static_cast<DWORD>(io->out.size()), &io->size);
  });
  if (!error) return TooLate();
  if (*error != SCARD_S_SUCCESS) return PcscFailure(*error);
  io->out.resize(io->size);
  reader::trace::Bytes("escape", Direction::FromReader, io->out);
  return std::move(io->out);
}

reader::Expected<reader::Bytes> PcscConnection::Transmit(std::span<const std::uint8_t> apdu) {
  if (byEscape_) return Escape(apdu);
  using reader::trace::Direction;
  reader::trace::Bytes("apdu", Direction::ToReader, apdu);
  auto io = std::make_shared<Buffers>(Buffers{reader::Bytes(apdu.begin(), apdu.end())});
  const auto error = Run([io](PcscHandles& handles) {
    const SCARD_IO_REQUEST* pci = handles.protocol == SCARD_PROTOCOL_T0 ? SCARD_PCI_T0 : SCARD_PCI_T1;
    io->size = static_cast<DWORD>(io->out.size());
    return SCardTransmit(handles.card, pci, io->in.data(), static_cast<DWORD>(io->in.size()), nullptr, io->out.data(),
                         &io->size);
  });
  if (!error) return TooLate();
  // pcscd says "not transacted" for any failure of the driver, not only for a card that left.
  if (*error == SCARD_E_NOT_TRANSACTED && CardLeft()) return Fail(ErrorKind::CardLost, pcsc_stringify_error(*error));
  if (*error != SCARD_S_SUCCESS) return PcscFailure(*error);
  io->out.resize(io->size);
  // GET DATA answers the IDm bare, outside any frame.
  const bool idm = apdu.size() >= 2 && apdu[0] == 0xFF && apdu[1] == 0xCA;
  reader::trace::Bytes("apdu", Direction::FromReader, io->out, idm && io->size >= 2 ? io->size - 2 : 0);
  return std::move(io->out);
}

bool PcscConnection::CardLeft() {
  const auto wait = MillisecondsLeft(deadline_, kRemovalNotice);
  const auto left = Run([reader = reader_, wait](PcscHandles& handles) -> LONG {
    DWORD state = 0, protocol = 0, nameSize = 0, atrSize = 0;
    const LONG error = SCardStatus(handles.card, nullptr, &nameSize, &state, &protocol, nullptr, &atrSize);
    if (NoCard(error) || (error == SCARD_S_SUCCESS && (state & SCARD_ABSENT))) return SCARD_W_REMOVED_CARD;
    // pcscd may not have heard from the reader yet: give it a moment to say.
    SCARD_READERSTATE states{reader.c_str(), nullptr, SCARD_STATE_PRESENT, 0, 0, {}};
    if (SCardGetStatusChange(handles.context, wait, &states, 1) == SCARD_S_SUCCESS &&
        (states.dwEventState & SCARD_STATE_EMPTY))
      return SCARD_W_REMOVED_CARD;
    return SCARD_S_SUCCESS;
  });
  return left == SCARD_W_REMOVED_CARD;
}

}  // namespace ccid
