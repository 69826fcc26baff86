#include "LibnfcTransport.h"

#include <nfc/nfc.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "UsbAccessHint.h"
#include "felica_for_vb.h"

namespace libnfc {
namespace {

using reader::TransportResult;
using reader::TransportStatus;

class LibnfcTransport : public reader::Transport {
 public:
  LibnfcTransport(nfc_context* context, nfc_device* device) : context_(context), device_(device) {}
  ~LibnfcTransport() override {
    nfc_idle(device_);  // field off
    nfc_close(device_);
    nfc_exit(context_);
  }

  std::string_view Name() const override { return "libnfc"; }

  TransportResult Poll(std::span<const std::uint8_t> frame, std::chrono::milliseconds) override {
    // libnfc takes the polling command without its length byte:
    // command, system code (2), request code, time slot.
    if (frame.size() != 6) return {TransportStatus::Transmission, {}, "polling frame of unexpected size"};
    const nfc_modulation modulation{NMT_FELICA, NBR_212};
    nfc_target target{};
    const int found = nfc_initiator_select_passive_target(device_, modulation, frame.data() + 1, 5, &target);
    if (found < 0) return Failure(found);
    if (found == 0) return {TransportStatus::Timeout, {}, {}};
    const auto& info = target.nti.nfi;
    felica::Bytes answer{18, 0x01};
    answer.insert(answer.end(), std::begin(info.abtId), std::end(info.abtId));
    answer.insert(answer.end(), std::begin(info.abtPad), std::end(info.abtPad));
    return {TransportStatus::Ok, std::move(answer), {}};
  }

  TransportResult Exchange(std::span<const std::uint8_t> frame, std::chrono::milliseconds timeout) override {
    // Both buffers carry the FeliCa length byte. A timeout of 0 would wait forever.
    std::uint8_t received[256];
    const int ms = static_cast<int>(std::max<long>(1, timeout.count()));
    const int size = nfc_initiator_transceive_bytes(device_, frame.data(), frame.size(), received, sizeof received, ms);
    if (size < 0) return Failure(size);
    return {TransportStatus::Ok, felica::Bytes(received, received + size), {}};
  }

 private:
  TransportResult Failure(int error) const {
    switch (error) {
      case NFC_ETIMEOUT:
      case NFC_ERFTRANS: return {TransportStatus::Timeout, {}, {}};
      case NFC_ENOTSUCHDEV:
      case NFC_EIO: return {TransportStatus::ReaderGone, {}, std::string("reader stopped answering: ") + nfc_strerror(device_)};
      default: return {TransportStatus::Transmission, {}, nfc_strerror(device_)};
    }
  }

  nfc_context* context_;
  nfc_device* device_;
};

}  // namespace

reader::OpenResult Open(std::string_view connstring) {
  // libnfc prints its own errors on standard error; our diagnostic line says
  // what matters. LIBNFC_LOG_LEVEL set by the user still wins.
  setenv("LIBNFC_LOG_LEVEL", "0", 0);
  nfc_context* context = nullptr;
  nfc_init(&context);
  if (!context) return {nullptr, FELICA_RW_NO_READER, "libnfc cannot start"};
  const std::string chosen(connstring);
  nfc_device* device = nfc_open(context, chosen.empty() ? nullptr : chosen.c_str());
  if (!device) {
    nfc_exit(context);
    std::string diagnostic = chosen.empty() ? "no libnfc reader found" : "cannot open " + chosen;
    const auto hint = reader::UsbAccessHint();
    if (!hint.empty()) diagnostic += ": " + hint;
    return {nullptr, FELICA_RW_NO_READER, diagnostic};
  }
  if (nfc_initiator_init(device) < 0 ||
      // nfc_initiator_init turns on infinite select: a press without a card would hang.
      nfc_device_set_property_bool(device, NP_INFINITE_SELECT, false) < 0) {
    std::string diagnostic = std::string("cannot set the reader up: ") + nfc_strerror(device);
    nfc_close(device);
    nfc_exit(context);
    return {nullptr, FELICA_RW_TRANSMISSION, diagnostic};
  }
  return {std::make_unique<LibnfcTransport>(context, device), 0, {}};
}

}  // namespace libnfc
