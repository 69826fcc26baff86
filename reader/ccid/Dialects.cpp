#include "Dialects.h"

#include <thread>
#include <utility>

#include "ContactlessApdu.h"
#include "Hex.h"

namespace ccid {
namespace {

using reader::ErrorKind;
using reader::Fail;

// How long a reader's field takes to come up or die down: what working
// RC-S300 code waits after switching it.
constexpr std::chrono::milliseconds kFieldSettleTime{25};
// A polling straight after the field comes up may miss a card that the next
// one finds: a few tries, this far apart.
constexpr int kPollingTries = 3;
constexpr std::chrono::milliseconds kPollingRetryGap{20};

reader::Expected<Response> Send(Channel& channel, const reader::Expected<reader::Bytes>& apdu) {
  if (!apdu) return reader::Unexpected(apdu.error());
  auto response = channel.Transmit(*apdu);
  if (!response) return reader::Unexpected(response.error());
  return SplitResponse(*response);
}

// Whether the reader takes a session step: false when it refuses it by its
// status word; the failure itself when the card left, the reader went or
// pcscd failed on the way.
reader::Expected<bool> Accepted(Channel& channel, const reader::Bytes& apdu) {
  const auto response = Send(channel, apdu);
  if (!response) return reader::Unexpected(response.error());
  return SessionStepAccepted(*response);
}

// Ends the session, as far as the reader can still be reached: with the
// card gone, pcscd sends nothing in a transmit, but the reader's escape
// reaches it still.
void EndSession(Channel& channel) {
  const auto end = ManageSessionApdu(SessionStep::End);
  if (const auto ended = Accepted(channel, end); !ended && ended.error().kind == ErrorKind::CardLost) {
    (void)channel.ToReader(end);
  }
}

// PC/SC part 3: FeliCa frames in the transparent session.
class TransparentSession : public Dialect {
 public:
  TransparentSession(Channel& channel, bool cycleField) : channel_(channel), fieldToCycle_(cycleField) {}
  std::string_view Name() const override { return "transparent session"; }

  reader::Expected<reader::PollingAnswer> Poll(const reader::PollingRequest& request,
                                               std::chrono::milliseconds cardTime) override {
    // Some readers (an RC-S300 among them) hear a card only once the field
    // has been cycled in the session, and take up their own polling again
    // after a session ends: every session cycles it before its first polling.
    if (std::exchange(fieldToCycle_, false)) {
      for (const SessionStep step : {SessionStep::FieldOff, SessionStep::FieldOn}) {
        // A reader may report the card gone once the field is off: the caller connects anew.
        if (auto switched = Accepted(channel_, ManageSessionApdu(step)); !switched) {
          return reader::Unexpected(switched.error());
        }
        std::this_thread::sleep_for(kFieldSettleTime);
      }
    }
    auto answer = Exchange(reader::EncodePolling(request), cardTime);
    for (int tried = 1; tried < kPollingTries && !answer && answer.error().kind == ErrorKind::Timeout; ++tried) {
      std::this_thread::sleep_for(kPollingRetryGap);
      answer = Exchange(reader::EncodePolling(request), cardTime);
    }
    if (!answer) return reader::Unexpected(answer.error());
    return reader::DecodePolling(*answer);
  }

  reader::Expected<reader::Bytes> Exchange(std::span<const std::uint8_t> frame,
                                           std::chrono::milliseconds cardTime) override {
    const auto micros = static_cast<std::uint32_t>(cardTime.count() * 1000);
    auto response = Send(channel_, TransparentExchangeApdu(frame, micros));
    if (!response) return reader::Unexpected(response.error());
    return TransparentAnswer(*response);
  }

  void End() override { EndSession(channel_); }

 private:
  Channel& channel_;
  bool fieldToCycle_;
};

// FeliCa frames as the data of a direct transmit.
class DirectFrames : public Dialect {
 public:
  explicit DirectFrames(Channel& channel) : channel_(channel) {}
  std::string_view Name() const override { return "direct FeliCa frames"; }

  reader::Expected<reader::Bytes> Exchange(std::span<const std::uint8_t> frame, std::chrono::milliseconds) override {
    auto response = Send(channel_, DirectTransmitApdu(frame));
    if (!response) return reader::Unexpected(response.error());
    switch (response->statusWord) {
      case kStatusOk:
        if (response->data.empty()) return Fail(ErrorKind::Timeout);
        return std::move(response->data);
      case 0x6A81:
      case 0x6D00:
      case 0x6E00:  // function, instruction or class not supported
        return Fail(ErrorKind::Transmission, "the reader refuses FeliCa frames by direct transmit");
      default:  // most likely the reader's way of saying that the card did not answer
        return Fail(ErrorKind::Timeout,
                    "the reader answered status " + hex::Word(response->statusWord) + " to a FeliCa frame");
    }
  }

 private:
  Channel& channel_;
};

// PN532 commands as the data of a direct transmit.
class Pn532Commands : public Dialect {
 public:
  explicit Pn532Commands(Channel& channel) : channel_(channel) {}
  std::string_view Name() const override { return "PN532 commands"; }

  reader::Expected<reader::Bytes> Command(std::span<const std::uint8_t> command) {
    reader::Bytes data{0xD4};
    data.insert(data.end(), command.begin(), command.end());
    auto response = Send(channel_, DirectTransmitApdu(data));
    if (!response) return reader::Unexpected(response.error());
    return Pn532Answer(*response, command[0]);
  }

  reader::Expected<reader::PollingAnswer> Poll(const reader::PollingRequest& request,
                                               std::chrono::milliseconds) override {
    const reader::Bytes frame = reader::EncodePolling(request);
    reader::Bytes command{0x4A, 0x01, 0x01};                        // InListPassiveTarget: one target, FeliCa 212 kbps
    command.insert(command.end(), frame.begin() + 1, frame.end());  // the polling command without its length byte
    auto answer = Command(command);
    if (!answer) return reader::Unexpected(answer.error());
    return Pn532PollingAnswer(*answer);
  }

  reader::Expected<reader::Bytes> Exchange(std::span<const std::uint8_t> frame,
                                           std::chrono::milliseconds cardTime) override {
    // The chip's wait for the card: the first of its steps (100 us x 2^(n-1)) that covers the card's time.
    const auto micros = static_cast<unsigned long>(cardTime.count()) * 1000;
    std::uint8_t index = 1;
    while (index < 16 && (100ul << (index - 1)) < micros) ++index;
    if (index != timeoutIndex_) {
      const std::uint8_t timings[] = {0x32, 0x02, 0x00, 0x0B, index};  // RFConfiguration: various timings
      if (auto set = Command(timings); !set) return reader::Unexpected(set.error());
      timeoutIndex_ = index;
    }
    reader::Bytes command{0x40, 0x01};  // InDataExchange with target 1
    command.insert(command.end(), frame.begin(), frame.end());
    auto answer = Command(command);
    if (!answer) return reader::Unexpected(answer.error());
    return Pn532ExchangeAnswer(*answer);
  }

 private:
  Channel& channel_;
  std::uint8_t timeoutIndex_ = 0;
};

}  // namespace

reader::Expected<std::unique_ptr<Dialect>> Negotiate(Channel& channel, bool cycleField) {
  // Only a refusal by status word moves on to the next dialect; any other
  // failure is the card's or the reader's, and is reported as it is. A
  // session a killed program left open is ended first.
  if (const auto leftover = Accepted(channel, ManageSessionApdu(SessionStep::End)); !leftover) {
    return reader::Unexpected(leftover.error());
  }
  const auto session = Accepted(channel, ManageSessionApdu(SessionStep::Start));
  if (!session) return reader::Unexpected(session.error());
  if (*session) {
    const auto felica = Accepted(channel, SwitchToFelicaApdu());
    if (felica && *felica) return std::make_unique<TransparentSession>(channel, cycleField);
    EndSession(channel);
    if (!felica) return reader::Unexpected(felica.error());
    return std::make_unique<DirectFrames>(channel);
  }
  const std::uint8_t getFirmwareVersion[] = {0xD4, 0x02};
  const auto firmware = Send(channel, DirectTransmitApdu(getFirmwareVersion));
  if (!firmware) return reader::Unexpected(firmware.error());
  if (!Pn532Answer(*firmware, 0x02)) return Fail(ErrorKind::NoReader, std::string(kSpeaksNone));
  auto pn532 = std::make_unique<Pn532Commands>(channel);
  // Polling retries a finite number of times, or a press without a card would never end.
  const std::uint8_t maxRetries[] = {0x32, 0x05, 0x00, 0x01, 0x02};
  if (auto set = pn532->Command(maxRetries); !set) return reader::Unexpected(set.error());
  return pn532;
}

}  // namespace ccid
