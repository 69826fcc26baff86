#pragma once
// What the library needs of a reader: send one FeliCa frame to the card in
// the field and get its answer within a bounded time. Readers that poll by
// themselves (through their own commands) override Poll.

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "Bytes.h"

namespace reader {

enum class TransportStatus {
  Ok,
  Timeout,       // no answer within the time allowed (no card, or it left)
  CardLost,      // the reader itself says the card left the field
  Transmission,  // the reader could not send or receive
  ReaderGone,    // the reader itself is no longer there
};

struct TransportResult {
  TransportStatus status = TransportStatus::Ok;
  felica::Bytes frame;  // the answer frame, length byte first, when Ok
  std::string detail;   // for diagnostics: what the reader said; never card data
};

class Transport {
 public:
  virtual ~Transport() = default;
  virtual std::string_view Name() const = 0;

  // Sends `frame` (length byte first) and waits at most `timeout` for the answer.
  virtual TransportResult Exchange(std::span<const std::uint8_t> frame, std::chrono::milliseconds timeout) = 0;

  // Polls with a FeliCa Polling frame; the answer is the polling response.
  virtual TransportResult Poll(std::span<const std::uint8_t> pollingFrame, std::chrono::milliseconds timeout) {
    return Exchange(pollingFrame, timeout);
  }
};

}  // namespace reader
