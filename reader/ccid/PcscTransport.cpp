#include "PcscTransport.h"

#include <PCSC/winscard.h>
#include <PCSC/wintypes.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ContactlessApdu.h"
#include "Dialects.h"
#include "PcscConnection.h"

namespace ccid {
namespace {

using reader::ErrorKind;
using reader::Fail;

// How long a press may take, in all, with what is outside the program: another PC/SC program, pcscd, a silent
// reader, a card that a reader lost with its field. What is left after a connect is enough to read the card.
constexpr std::chrono::milliseconds kPressWait{1800};
// How long a card that a reader lost with its field may take to be found again (within the press's wait).
constexpr std::chrono::milliseconds kCardReturn{600};

// A reader's state as pcscd last saw it.
struct ReaderState {
  std::string name;
  DWORD state = 0;
  reader::Bytes atr;
  // A contactless card, by the ATR pcscd read at insertion (PC/SC part 3: RID A0 00 00 03 06).
  bool HoldsContactlessCard() const {
    static constexpr std::uint8_t kRid[] = {0xA0, 0x00, 0x00, 0x03, 0x06};
    return (state & SCARD_STATE_PRESENT) &&
           std::search(atr.begin(), atr.end(), std::begin(kRid), std::end(kRid)) != atr.end();
  }
};

class PcscTransport : public reader::Transport {
 public:
  explicit PcscTransport(std::vector<std::string> readers)
      : readers_(std::move(readers)), deadline_(std::chrono::steady_clock::now() + kPressWait) {}
  ~PcscTransport() override { Disconnect(); }

  std::string_view Name() const override { return "pcsc"; }
  bool HasReadableCard(std::chrono::milliseconds) override { return dialect_ != nullptr; }

  reader::Expected<reader::PollingAnswer> Poll(const reader::PollingRequest& request,
                                               std::chrono::milliseconds cardTime) override {
    if (!dialect_) {
      if (auto connected = Connect(); !connected) return reader::Unexpected(connected.error());
    }
    auto answer = DisconnectingALostCard([&] { return dialect_->Poll(request, cardTime); });
    // A reader may report the card gone when the session switches its field off, and find it again a
    // moment later: connect anew, once an open, in a field that has just been cycled.
    if (!answer && answer.error().kind == ErrorKind::CardLost && !reconnected_ && CardComesBack(connectedTo_)) {
      reconnected_ = true;
      if (auto connected = Connect(); !connected) return reader::Unexpected(connected.error());
      answer = DisconnectingALostCard([&] { return dialect_->Poll(request, cardTime); });
    }
    return answer;
  }

  reader::Expected<reader::Bytes> Exchange(std::span<const std::uint8_t> frame,
                                           std::chrono::milliseconds cardTime) override {
    if (!dialect_) return Fail(ErrorKind::CardLost);
    return DisconnectingALostCard([&] { return dialect_->Exchange(frame, cardTime); });
  }

  // Connects to the first reader whose card is FeliCa and speaks a dialect.
  // Timeout when no reader has a card; NoReader when the cards there cannot
  // be read; ReaderAccess when pcscd refuses or another program holds the reader.
  reader::Expected<void> Connect() {
    auto states = States(readers_, SCARD_STATE_UNAWARE, std::chrono::milliseconds(0));
    if (!states) return reader::Unexpected(states.error());
    std::optional<reader::Error> unusable;
    for (const auto& reader : *states) {
      // No other reader is connected, so nothing another program does with a contact card holds a press.
      if (!reader.HoldsContactlessCard()) continue;
      const auto& name = reader.name;
      auto connection = PcscConnection::Open(name, deadline_);
      if (!connection) {
        if (connection.error().kind == ErrorKind::ReaderAccess) return reader::Unexpected(connection.error());
        if (connection.error().kind != ErrorKind::Timeout && !unusable) unusable = connection.error();
        continue;
      }
      connection_ = std::move(*connection), connectedTo_ = name;
      auto felica = FelicaCard();
      if (!felica && !unusable) unusable = felica.error(), unusable->detail = name + ": " + unusable->detail;
      auto dialect = felica && *felica ? Negotiate(*connection_, !reconnected_) : Fail(ErrorKind::Timeout);
      if (!dialect && dialect.error().detail == kSpeaksNone) dialect = ByEscape();
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
  // Whether the reader that lost its card holds a contactless card again within kCardReturn: a card in another reader
  // (a token, a contact card) is not it.
  bool CardComesBack(const std::string& name) const {
    const auto states = States({name}, SCARD_STATE_EMPTY, kCardReturn);
    return states && !states->empty() && states->front().HoldsContactlessCard();
  }

  // The readers' states once one differs from `known` or `wait` has passed, read on a worker by the press's
  // deadline: pcsc-lite sleeps 400 ms in it for every reader whose card is mute.
  reader::Expected<std::vector<ReaderState>> States(const std::vector<std::string>& names, DWORD known,
                                                    std::chrono::milliseconds wait) const {
    LONG established = SCARD_S_SUCCESS;
    auto worker = PcscWorker::Start("", deadline_, established);
    if (!worker && established != SCARD_S_SUCCESS) return PcscFailure(established);
    struct Asked {
      std::vector<std::string> names;
      std::vector<SCARD_READERSTATE> states;
    };
    auto asked = std::make_shared<Asked>(Asked{names, {}});
    for (const auto& name : asked->names) asked->states.push_back({name.c_str(), nullptr, known, 0, 0, {}});
    const auto timeout = MillisecondsLeft(deadline_, wait);
    const auto read = [asked, timeout](PcscHandles& handles) {
      return SCardGetStatusChange(handles.context, timeout, asked->states.data(),
                                  static_cast<DWORD>(asked->states.size()));
    };
    const auto error = worker ? worker->Run(read, deadline_) : std::nullopt;
    if (!error) return Fail(ErrorKind::Transmission, "pcscd did not tell the readers' states within the press's time");
    if (*error != SCARD_S_SUCCESS && *error != SCARD_E_TIMEOUT) return PcscFailure(*error);
    std::vector<ReaderState> states;
    for (const auto& state : asked->states) {
      const auto atr = std::span(state.rgbAtr, std::min<std::size_t>(state.cbAtr, sizeof state.rgbAtr));
      states.push_back({state.szReader, *error == SCARD_S_SUCCESS ? state.dwEventState : known,
                        reader::Bytes(atr.begin(), atr.end())});
    }
    return states;
  }

  // A reader that refuses the session in a transmit may take it as a CCID
  // escape, as an RC-S300 can, where libccid lists the escape.
  reader::Expected<std::unique_ptr<Dialect>> ByEscape() {
    if (!connection_->HasEscape()) {
      return Fail(ErrorKind::ReaderAccess,
                  "the reader refuses FeliCa commands in a transmit, and libccid does not pass them on as a CCID "
                  "escape: add 0x0001 to ifdDriverOptions in /etc/libccid_Info.plist (it lets every PC/SC program "
                  "send escapes to every CCID reader), then restart pcscd");
    }
    connection_->SendByEscape();
    return Negotiate(*connection_, !reconnected_);
  }

  // GET DATA answers a FeliCa card's IDm, 8 bytes; a failure but the card's is said as it is (a reader unplugged,
  // pcscd gone).
  reader::Expected<bool> FelicaCard() {
    const auto response = connection_->Transmit(GetIdmApdu());
    if (!response && response.error().kind != ErrorKind::CardLost) return reader::Unexpected(response.error());
    const auto split = response ? SplitResponse(*response) : reader::Unexpected(response.error());
    return split && split->statusWord == kStatusOk && split->data.size() == 8;
  }

  // Runs `step`; a card that left ends the connection.
  template <typename Step>
  auto DisconnectingALostCard(Step step) -> decltype(step()) {
    auto result = step();
    if (!result && result.error().kind == ErrorKind::CardLost) Disconnect();
    return result;
  }

  void Disconnect() {
    if (dialect_) dialect_->End();
    dialect_.reset();
    connection_.reset();
  }

  std::vector<std::string> readers_;
  const Deadline deadline_;
  std::string connectedTo_;
  bool reconnected_ = false;
  std::unique_ptr<PcscConnection> connection_;
  std::unique_ptr<Dialect> dialect_;
};

reader::Expected<std::vector<std::string>> ReaderNames(SCARDCONTEXT context) {
  // pcscd allocates the list: no reader can come between asking its size and reading it.
  LPSTR list = nullptr;
  DWORD size = SCARD_AUTOALLOCATE;
  const LONG error = SCardListReaders(context, nullptr, reinterpret_cast<LPSTR>(&list), &size);
  if (error == SCARD_E_NO_READERS_AVAILABLE) return std::vector<std::string>{};
  if (error != SCARD_S_SUCCESS) {
    return Fail(ErrorKind::NoReader, std::string("pcscd cannot list its readers: ") + pcsc_stringify_error(error));
  }
  std::vector<std::string> names;
  for (const char* name = list; name < list + size && *name != '\0'; name += names.back().size() + 1) {
    names.emplace_back(name);
  }
  SCardFreeMemory(context, list);
  return names;
}

reader::Unexpected ContextFailure(LONG error) {
  switch (error) {
    case SCARD_E_NO_SERVICE:
      return Fail(ErrorKind::NoReader, "pcscd is not running (install and start pcscd; RC-S300 needs libccid too)");
    case SCARD_W_SECURITY_VIOLATION: return PolkitRefusal();  // pcscd hung up at once
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
  SCardReleaseContext(context);
  if (!names) return reader::Unexpected(names.error());
  std::vector<std::string> chosen;
  for (auto& reader : *names) {
    if (name.empty() || reader.compare(0, name.size(), name) == 0) chosen.push_back(std::move(reader));
  }
  if (chosen.empty()) {
    return Fail(ErrorKind::NoReader,
                name.empty() ? std::string("no PC/SC reader") : "no PC/SC reader named " + std::string(name));
  }
  auto transport = std::make_unique<PcscTransport>(std::move(chosen));
  // A card that is there already is connected now; whether one of them can
  // be read decides whether auto mode looks further. A reader that pcscd
  // will not let us use is news now.
  if (auto connected = transport->Connect(); !connected && connected.error().kind == ErrorKind::ReaderAccess) {
    return reader::Unexpected(connected.error());
  }
  return transport;
}

}  // namespace ccid
