#include "PcscTransport.h"

#include <PCSC/winscard.h>
#include <PCSC/wintypes.h>

#include <string>
#include <vector>

#include "ContactlessApdu.h"
#include "felica_for_vb.h"

namespace pcsc {
namespace {

using reader::TransportResult;
using reader::TransportStatus;

std::string Describe(LONG error) { return pcsc_stringify_error(error); }

std::vector<std::string> ReaderNames(SCARDCONTEXT context, LONG& error) {
  DWORD size = 0;
  error = SCardListReaders(context, nullptr, nullptr, &size);
  if (error != SCARD_S_SUCCESS) return {};
  std::string buffer(size, '\0');
  error = SCardListReaders(context, nullptr, buffer.data(), &size);
  std::vector<std::string> names;
  for (std::size_t pos = 0; error == SCARD_S_SUCCESS && pos < buffer.size() && buffer[pos] != '\0';) {
    names.emplace_back(buffer.c_str() + pos);
    pos += names.back().size() + 1;
  }
  return names;
}

bool CardGone(LONG error) {
  return error == SCARD_W_REMOVED_CARD || error == SCARD_E_NO_SMARTCARD || error == SCARD_E_NOT_TRANSACTED ||
         error == SCARD_W_UNPOWERED_CARD || error == SCARD_W_UNRESPONSIVE_CARD;
}

class PcscTransport : public reader::Transport {
 public:
  PcscTransport(SCARDCONTEXT context, std::vector<std::string> readers)
      : context_(context), readers_(std::move(readers)) {}
  ~PcscTransport() override {
    Disconnect();
    SCardReleaseContext(context_);
  }

  std::string_view Name() const override { return "pcsc"; }

  TransportResult Poll(std::span<const std::uint8_t> frame, std::chrono::milliseconds timeout) override {
    if (!card_) {
      if (auto connected = Connect(); connected.status != TransportStatus::Ok) return connected;
    }
    return Exchange(frame, timeout);
  }

  TransportResult Exchange(std::span<const std::uint8_t> frame, std::chrono::milliseconds timeout) override {
    if (!card_) return {TransportStatus::CardLost, {}, {}};
    const auto micros = static_cast<std::uint32_t>(timeout.count() * 1000);
    felica::Bytes response;
    LONG error = Transmit(TransparentExchangeApdu(frame, micros), response);
    if (error == SCARD_W_RESET_CARD) {  // someone reset the card: reconnect and start over
      DWORD protocol = 0;
      error = SCardReconnect(card_, SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, SCARD_LEAVE_CARD, &protocol);
      sessionOpen_ = false;
      if (error == SCARD_S_SUCCESS) error = StartSession();
      if (error == SCARD_S_SUCCESS) error = Transmit(TransparentExchangeApdu(frame, micros), response);
    }
    if (error != SCARD_S_SUCCESS) return Failure(error);
    const auto answer = ParseTransparentResponse(response);
    switch (answer.kind) {
      case AnswerKind::Ok: return {TransportStatus::Ok, answer.data, {}};
      case AnswerKind::NoAnswer: return {TransportStatus::Timeout, {}, {}};
      case AnswerKind::Empty: return {TransportStatus::CardLost, {}, "empty answer from the reader: card lost"};
      case AnswerKind::Refused:
        return {TransportStatus::Transmission, {}, "reader refused the exchange, status " + StatusText(answer.statusWord)};
      case AnswerKind::Malformed: return {TransportStatus::Transmission, {}, "malformed answer from the reader"};
    }
    return {TransportStatus::Transmission, {}, {}};
  }

 private:
  static std::string StatusText(std::uint16_t word) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", word);
    return text;
  }

  LONG Transmit(const felica::Bytes& apdu, felica::Bytes& response) {
    response.assign(512, 0);
    DWORD size = static_cast<DWORD>(response.size());
    const SCARD_IO_REQUEST* pci = protocol_ == SCARD_PROTOCOL_T0 ? SCARD_PCI_T0 : SCARD_PCI_T1;
    const LONG error = SCardTransmit(card_, pci, apdu.data(), static_cast<DWORD>(apdu.size()), nullptr,
                                     response.data(), &size);
    response.resize(error == SCARD_S_SUCCESS ? size : 0);
    return error;
  }

  LONG StartSession() {
    felica::Bytes response;
    for (const auto& apdu : {StartSessionApdu(), SwitchToFelicaApdu()}) {
      if (LONG error = Transmit(apdu, response); error != SCARD_S_SUCCESS) return error;
      if (ParsePlainResponse(response).kind != AnswerKind::Ok) return SCARD_E_UNSUPPORTED_FEATURE;
      sessionOpen_ = true;
    }
    return SCARD_S_SUCCESS;
  }

  // The first of the readers with a card that answers GET DATA and opens a transparent session.
  TransportResult Connect() {
    LONG last = SCARD_E_NO_SMARTCARD;
    for (const auto& name : readers_) {
      LONG error = SCardConnect(context_, name.c_str(), SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1,
                                &card_, &protocol_);
      if (error != SCARD_S_SUCCESS) {
        card_ = 0;
        last = error;
        continue;
      }
      felica::Bytes response;
      error = Transmit(GetIdmApdu(), response);
      const auto idm = ParsePlainResponse(response);
      if (error == SCARD_S_SUCCESS && (idm.kind != AnswerKind::Ok || idm.data.size() != 8)) {
        error = SCARD_E_CARD_UNSUPPORTED;  // not a FeliCa card
      }
      if (error == SCARD_S_SUCCESS) error = StartSession();
      if (error == SCARD_S_SUCCESS) return {};
      last = error;
      Disconnect();
    }
    if (CardGone(last) || last == SCARD_E_CARD_UNSUPPORTED) return {TransportStatus::Timeout, {}, {}};
    return Failure(last);
  }

  void Disconnect() {
    if (!card_) return;
    if (sessionOpen_) {
      felica::Bytes ignored;
      Transmit(EndSessionApdu(), ignored);
    }
    SCardDisconnect(card_, SCARD_LEAVE_CARD);
    card_ = 0;
    sessionOpen_ = false;
  }

  TransportResult Failure(LONG error) {
    if (CardGone(error)) {
      Disconnect();
      return {TransportStatus::CardLost, {}, {}};
    }
    if (error == SCARD_E_NO_SERVICE || error == SCARD_E_SERVICE_STOPPED || error == SCARD_E_READER_UNAVAILABLE ||
        error == SCARD_E_UNKNOWN_READER) {
      return {TransportStatus::ReaderGone, {}, Describe(error)};
    }
    return {TransportStatus::Transmission, {}, Describe(error)};
  }

  SCARDCONTEXT context_;
  std::vector<std::string> readers_;
  SCARDHANDLE card_ = 0;
  DWORD protocol_ = 0;
  bool sessionOpen_ = false;
};

}  // namespace

reader::OpenResult Open(std::string_view name) {
  SCARDCONTEXT context = 0;
  LONG error = SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context);
  if (error == SCARD_E_NO_SERVICE) {
    return {nullptr, FELICA_RW_NO_READER, "pcscd is not running (install and start pcscd; RC-S300 needs libccid too)"};
  }
  if (error != SCARD_S_SUCCESS) return {nullptr, FELICA_RW_NO_READER, "PC/SC: " + Describe(error)};
  auto names = ReaderNames(context, error);
  std::vector<std::string> chosen;
  for (auto& reader : names) {
    if (name.empty() || reader.compare(0, name.size(), name) == 0) chosen.push_back(std::move(reader));
  }
  if (chosen.empty()) {
    SCardReleaseContext(context);
    const std::string what = name.empty() ? std::string("no PC/SC reader") : "no PC/SC reader named " + std::string(name);
    return {nullptr, FELICA_RW_NO_READER, what};
  }
  return {std::make_unique<PcscTransport>(context, std::move(chosen)), 0, {}};
}

}  // namespace pcsc
