#include "PcscTransport.h"

#include <PCSC/winscard.h>
#include <PCSC/wintypes.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ContactlessApdu.h"
#include "Dialects.h"

namespace ccid {
namespace {

using reader::ErrorKind;
using reader::Fail;

bool CardGone(LONG error) {
  return error == SCARD_W_REMOVED_CARD || error == SCARD_E_NO_SMARTCARD || error == SCARD_E_NOT_TRANSACTED ||
         error == SCARD_W_UNPOWERED_CARD || error == SCARD_W_UNRESPONSIVE_CARD;
}

reader::Unexpected PcscFailure(LONG error) {
  const std::string text = pcsc_stringify_error(error);
  if (CardGone(error)) return Fail(ErrorKind::CardLost, text);
  if (error == SCARD_E_NO_SERVICE || error == SCARD_E_SERVICE_STOPPED || error == SCARD_E_READER_UNAVAILABLE ||
      error == SCARD_E_UNKNOWN_READER) {
    return Fail(ErrorKind::NoReader, text);
  }
  return Fail(ErrorKind::Transmission, text);
}

// One card, connected; its APDUs go through SCardTransmit.
class Connection : public Channel {
 public:
  Connection(SCARDHANDLE card, DWORD protocol) : card_(card), protocol_(protocol) {}
  ~Connection() override { SCardDisconnect(card_, SCARD_LEAVE_CARD); }

  reader::Expected<reader::Bytes> Transmit(std::span<const std::uint8_t> apdu) override {
    reader::Bytes response(512, 0);
    DWORD size = static_cast<DWORD>(response.size());
    const SCARD_IO_REQUEST* pci = protocol_ == SCARD_PROTOCOL_T0 ? SCARD_PCI_T0 : SCARD_PCI_T1;
    LONG error =
        SCardTransmit(card_, pci, apdu.data(), static_cast<DWORD>(apdu.size()), nullptr, response.data(), &size);
    if (error == SCARD_W_RESET_CARD) {
      // Another application reset the card: whatever the reader had set up is gone.
      reset_ = true;
      error = SCardReconnect(card_, SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, SCARD_LEAVE_CARD,
                             &protocol_);
      if (error == SCARD_S_SUCCESS) return Fail(ErrorKind::Transmission, "the card was reset");
    }
    if (error != SCARD_S_SUCCESS) return PcscFailure(error);
    response.resize(size);
    return response;
  }

  bool TakeReset() { return std::exchange(reset_, false); }

 private:
  SCARDHANDLE card_;
  DWORD protocol_;
  bool reset_ = false;
};

class PcscTransport : public reader::Transport {
 public:
  PcscTransport(SCARDCONTEXT context, std::vector<std::string> readers)
      : context_(context), readers_(std::move(readers)) {}
  ~PcscTransport() override {
    Disconnect();
    SCardReleaseContext(context_);
  }

  std::string_view Name() const override { return "pcsc"; }
  bool HasReadableCard(std::chrono::milliseconds) override { return dialect_ != nullptr; }

  reader::Expected<reader::PollingAnswer> Poll(const reader::PollingRequest& request,
                                               std::chrono::milliseconds cardTime) override {
    if (!dialect_) {
      if (auto connected = Connect(); !connected) return reader::Unexpected(connected.error());
    }
    return Again([&] { return dialect_->Poll(request, cardTime); });
  }

  reader::Expected<reader::Bytes> Exchange(std::span<const std::uint8_t> frame,
                                           std::chrono::milliseconds cardTime) override {
    if (!dialect_) return Fail(ErrorKind::CardLost);
    return Again([&] { return dialect_->Exchange(frame, cardTime); });
  }

  // Connects to the first reader whose card is FeliCa and speaks a dialect.
  // Timeout when no reader has a card; NoReader when the cards there cannot be read.
  reader::Expected<void> Connect() {
    std::optional<reader::Error> unusable;
    for (const auto& name : readers_) {
      SCARDHANDLE card = 0;
      DWORD protocol = 0;
      const LONG error = SCardConnect(context_, name.c_str(), SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1,
                                      &card, &protocol);
      if (error != SCARD_S_SUCCESS) {
        if (!CardGone(error) && !unusable) unusable = PcscFailure(error).error();
        continue;
      }
      connection_ = std::make_unique<Connection>(card, protocol);
      auto dialect = FelicaCard() ? Negotiate(*connection_) : Fail(ErrorKind::Timeout);
      if (dialect) {
        dialect_ = std::move(*dialect);
        return {};
      }
      const ErrorKind kind = dialect.error().kind;
      if (kind != ErrorKind::Timeout && kind != ErrorKind::CardLost && !unusable) {  // not merely the card gone
        unusable = dialect.error();
        unusable->detail = name + ": " + unusable->detail;
      }
      connection_.reset();
    }
    if (unusable) return reader::Unexpected(*unusable);
    return Fail(ErrorKind::Timeout);
  }

 private:
  // GET DATA answers a FeliCa card's IDm, 8 bytes.
  bool FelicaCard() {
    const auto response = connection_->Transmit(GetIdmApdu());
    const auto split = response ? SplitResponse(*response) : reader::Unexpected(response.error());
    return split && split->statusWord == kStatusOk && split->data.size() == 8;
  }

  // Runs `step`; after a reset by another application, sets the dialect up again and runs it once more.
  template <typename Step>
  auto Again(Step step) -> decltype(step()) {
    auto result = step();
    if (connection_->TakeReset()) {
      auto dialect = Negotiate(*connection_);
      if (!dialect) return reader::Unexpected(dialect.error());
      dialect_ = std::move(*dialect);
      result = step();
    }
    if (!result && result.error().kind == ErrorKind::CardLost) Disconnect();
    return result;
  }

  void Disconnect() {
    if (dialect_) dialect_->End();
    dialect_.reset();
    connection_.reset();
  }

  SCARDCONTEXT context_;
  std::vector<std::string> readers_;
  std::unique_ptr<Connection> connection_;
  std::unique_ptr<Dialect> dialect_;
};

reader::Expected<std::vector<std::string>> ReaderNames(SCARDCONTEXT context) {
  DWORD size = 0;
  LONG error = SCardListReaders(context, nullptr, nullptr, &size);
  std::string buffer(size, '\0');
  if (error == SCARD_S_SUCCESS) error = SCardListReaders(context, nullptr, buffer.data(), &size);
  if (error == SCARD_E_NO_READERS_AVAILABLE) return std::vector<std::string>{};
  if (error != SCARD_S_SUCCESS) {
    return Fail(ErrorKind::NoReader, std::string("pcscd cannot list its readers: ") + pcsc_stringify_error(error));
  }
  std::vector<std::string> names;
  for (std::size_t pos = 0; pos < buffer.size() && buffer[pos] != '\0';) {
    names.emplace_back(buffer.c_str() + pos);
    pos += names.back().size() + 1;
  }
  return names;
}

reader::Unexpected ContextFailure(LONG error) {
  switch (error) {
    case SCARD_E_NO_SERVICE:
      return Fail(ErrorKind::NoReader, "pcscd is not running (install and start pcscd; RC-S300 needs libccid too)");
    case SCARD_W_SECURITY_VIOLATION:  // pcscd hung up at once: polkit refused the program
      return Fail(ErrorKind::ReaderAccess,
                  "pcscd refused this program: polkit lets only the user at the machine's own seat use PC/SC; "
                  "over SSH or from a service, allow org.debian.pcsc-lite.access_pcsc by a polkit rule");
    default: return Fail(ErrorKind::NoReader, std::string("PC/SC: ") + pcsc_stringify_error(error));
  }
}

}  // namespace

reader::OpenResult Open(std::string_view name) {
  SCARDCONTEXT context = 0;
  if (const LONG error = SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context);
      error != SCARD_S_SUCCESS) {
    return ContextFailure(error);
  }
  auto names = ReaderNames(context);
  if (!names) {
    SCardReleaseContext(context);
    return reader::Unexpected(names.error());
  }
  std::vector<std::string> chosen;
  for (auto& reader : *names) {
    if (name.empty() || reader.compare(0, name.size(), name) == 0) chosen.push_back(std::move(reader));
  }
  if (chosen.empty()) {
    SCardReleaseContext(context);
    return Fail(ErrorKind::NoReader,
                name.empty() ? std::string("no PC/SC reader") : "no PC/SC reader named " + std::string(name));
  }
  auto transport = std::make_unique<PcscTransport>(context, std::move(chosen));
  // A card that is there already is connected now; whether one of them can
  // be read decides whether auto mode looks further.
  (void)transport->Connect();
  return transport;
}

}  // namespace ccid
