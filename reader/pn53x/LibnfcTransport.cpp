#include "LibnfcTransport.h"

#include <nfc/nfc.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "UsbDrain.h"

namespace pn53x {
namespace {

using namespace std::chrono_literals;
using reader::ErrorKind;
using reader::Fail;

// libnfc's USB drivers take 200 ms off a command's time before they read
// at all, and the chip answers only once its own wait for the card is over.
constexpr auto kDriverTime = 200ms;
constexpr auto kChipTime = 50ms;
// libnfc's select waits this long for the chip, whatever the caller asks.
constexpr auto kSelectTime = 300ms;

class LibnfcTransport : public reader::Transport {
 public:
  LibnfcTransport(nfc_context* context, nfc_device* device) : context_(context), device_(device) {}
  ~LibnfcTransport() override {
    nfc_close(device_);  // abandons any command, releases the target, field off
    nfc_exit(context_);
  }

  std::string_view Name() const override { return "libnfc"; }

  reader::Expected<reader::PollingAnswer> Poll(const reader::PollingRequest& request,
                                               std::chrono::milliseconds) override {
    // The polling command without its length byte; libnfc bounds the wait itself.
    const reader::Bytes frame = reader::EncodePolling(request);
    const nfc_modulation modulation{NMT_FELICA, NBR_212};
    nfc_target target{};
    const int found =
        nfc_initiator_select_passive_target(device_, modulation, frame.data() + 1, frame.size() - 1, &target);
    if (found < 0) return Failure(found, kSelectTime);
    if (found == 0) return Fail(ErrorKind::Timeout);
    reader::PollingAnswer answer;
    std::copy(std::begin(target.nti.nfi.abtId), std::end(target.nti.nfi.abtId), answer.idm.begin());
    std::copy(std::begin(target.nti.nfi.abtPad), std::end(target.nti.nfi.abtPad), answer.pmm.begin());
    return answer;
  }

  reader::Expected<reader::Bytes> Exchange(std::span<const std::uint8_t> frame,
                                           std::chrono::milliseconds cardTime) override {
    // libnfc rounds a time down to the chip's steps (100 us x 2^n): twice
    // the card's time gives the chip at least that.
    const int chipTime = static_cast<int>(2 * cardTime.count() + 1);
    if (chipTime != chipTime_) {
      if (const int set = nfc_device_set_property_int(device_, NP_TIMEOUT_COM, chipTime); set < 0) {
        return Failure(set, kDriverTime);
      }
      chipTime_ = chipTime;
    }
    const auto hostTime = std::chrono::milliseconds(chipTime) + kDriverTime + kChipTime;
    std::uint8_t received[256];  // both buffers carry the FeliCa length byte
    const int size = nfc_initiator_transceive_bytes(device_, frame.data(), frame.size(), received, sizeof received,
                                                    static_cast<int>(hostTime.count()));
    if (size < 0) return Failure(size, hostTime);
    return reader::Bytes(received, received + size);
  }

 private:
  // libnfc's USB drivers pass libusb-0.1's negative errnos on as they are,
  // which share numbers with libnfc's own codes (-EINTR is NFC_ENOTSUCHDEV,
  // -EIO NFC_EOVFLOW): only numbers no libnfc code has are read as errnos.
  reader::Unexpected Failure(int error, std::chrono::milliseconds hostTime) const {
    if (error == -ENODEV) return Fail(ErrorKind::NoReader, "reader unplugged");
    switch (error) {
      case NFC_ERFTRANS: return Fail(ErrorKind::Timeout);  // the chip heard no proper answer from the card
      case NFC_ETGRELEASED: return Fail(ErrorKind::CardLost, "the target was released");
      case NFC_ETIMEOUT:
        return Fail(ErrorKind::Transmission,
                    "the reader did not answer within " + std::to_string(hostTime.count()) + " ms");
      default: return Fail(ErrorKind::Transmission, Describe(error));
    }
  }

  std::string Describe(int error) const {
    const std::string usb = std::string("USB transfer failed: ") + std::strerror(-error);
    constexpr int kLibnfcCodes[] = {NFC_EIO,          NFC_EINVARG,    NFC_EDEVNOTSUPP, NFC_ENOTSUCHDEV, NFC_EOVFLOW,
                                    NFC_ETIMEOUT,     NFC_EOPABORTED, NFC_ENOTIMPL,    NFC_ETGRELEASED, NFC_ERFTRANS,
                                    NFC_EMFCAUTHFAIL, NFC_ESOFT,      NFC_ECHIP};
    if (std::find(std::begin(kLibnfcCodes), std::end(kLibnfcCodes), error) == std::end(kLibnfcCodes)) return usb;
    if (error == -EINTR || error == -EIO) return std::string(nfc_strerror(device_)) + ", or " + usb;
    return nfc_strerror(device_);
  }

  nfc_context* context_;
  nfc_device* device_;
  int chipTime_ = -1;
};

// Opens one device. A USB one is first drained of answers a killed or
// failed session left in its pipe, and once more when libnfc's set-up fails anyway.
nfc_device* OpenDrained(nfc_context* context, const std::string& connstring, usb::Listing& usb) {
  const bool onUsb = DrainUsbDevice(connstring, usb);
  if (nfc_device* device = nfc_open(context, connstring.c_str())) return device;
  if (!onUsb) return nullptr;
  DrainUsbDevice(connstring, usb);
  return nfc_open(context, connstring.c_str());
}

reader::OpenResult SetUp(nfc_context* context, nfc_device* device) {
  // nfc_initiator_init makes select wait for a card forever: a press without one would hang.
  if (nfc_initiator_init(device) < 0 || nfc_device_set_property_bool(device, NP_INFINITE_SELECT, false) < 0) {
    std::string detail = std::string("cannot set the reader up: ") + nfc_strerror(device);
    nfc_close(device);
    nfc_exit(context);
    return Fail(ErrorKind::Transmission, detail);
  }
  return std::make_unique<LibnfcTransport>(context, device);
}

}  // namespace

reader::OpenResult Open(std::string_view connstring, usb::Listing& usb) {
  nfc_context* context = nullptr;
  nfc_init(&context);
  if (!context) return Fail(ErrorKind::NoReader, "libnfc cannot start");
  std::vector<std::string> candidates;
  if (connstring.empty()) {
    nfc_connstring found[8];
    const std::size_t count = nfc_list_devices(context, found, 8);
    candidates.assign(found, found + count);
  } else {
    candidates.emplace_back(connstring);
  }
  for (const auto& candidate : candidates) {
    if (nfc_device* device = OpenDrained(context, candidate, usb)) return SetUp(context, device);
  }
  nfc_exit(context);

  // A USB reader that is there but cannot be claimed is the more useful news.
  const std::string hint = UsbAccessProblem(usb);
  const std::string why = hint.empty() ? "" : ": " + hint;
  if (candidates.empty()) {
    if (hint.empty()) return Fail(ErrorKind::NoReader, "no libnfc reader found");
    return Fail(ErrorKind::ReaderAccess, "no libnfc reader found" + why);
  }
  if (connstring.empty())
    return Fail(ErrorKind::ReaderAccess, "libnfc found " + candidates.front() + " but cannot open it" + why);
  // A connstring that names no reader that answers: the reader may be absent.
  return Fail(hint.empty() ? ErrorKind::NoReader : ErrorKind::ReaderAccess, "cannot open " + candidates.front() + why);
}

}  // namespace pn53x
