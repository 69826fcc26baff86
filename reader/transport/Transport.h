#pragma once
// What the library needs of a reader: carry one FeliCa frame to the card in
// the field and bring its answer back within a bounded time. A reader that
// polls by commands of its own overrides Poll and answers in FeliCa terms.
//
// Failures, by kind: Timeout (no answer in time: the card may have left),
// CardLost (the reader itself says the card left), Transmission (the reader
// could not send or receive), NoReader (the reader is gone).

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "Bytes.h"
#include "Expected.h"
#include "Frames.h"

namespace reader {

class Transport {
 public:
  virtual ~Transport() = default;
  virtual std::string_view Name() const = 0;

  // Sends `frame` (length byte first); the card's answer frame. `cardTime`
  // is how long the card may take; the reader adds its own time to it.
  virtual Expected<Bytes> Exchange(std::span<const std::uint8_t> frame, std::chrono::milliseconds cardTime) = 0;

  // False for a reader that is there but holds no card it can read yet:
  // auto mode then prefers a reader found after it. By default one polling
  // for any system code, which any FeliCa card answers.
  virtual bool HasReadableCard(std::chrono::milliseconds cardTime) {
    return Poll(PollingRequest{{0xFF, 0xFF}, 0, 0}, cardTime).has_value();
  }

  // One card's answer to polling. By default, the Polling command through Exchange.
  virtual Expected<PollingAnswer> Poll(const PollingRequest& request, std::chrono::milliseconds cardTime) {
    return PollByFrame(request, [&](const Bytes& frame) { return Exchange(frame, cardTime); });
  }
};

// What a driver's open gives: the reader, or why there is none.
using OpenResult = Expected<std::unique_ptr<Transport>>;

}  // namespace reader
