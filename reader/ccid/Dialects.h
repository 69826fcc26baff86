#pragma once
// The three ways PC/SC readers carry FeliCa (see ContactlessApdu.h), chosen
// per reader by what it answers: a reader that refuses the transparent
// session's switch to FeliCa gets FeliCa frames by direct transmit; one that
// refuses the session altogether but has a PN532 behind direct transmit gets
// PN532 commands.

#include <chrono>
#include <memory>
#include <span>
#include <string_view>

#include "Bytes.h"
#include "Expected.h"
#include "Frames.h"

namespace ccid {

// A connected card's APDU channel; the answer includes the status word.
class Channel {
 public:
  virtual ~Channel() = default;
  virtual reader::Expected<reader::Bytes> Transmit(std::span<const std::uint8_t> apdu) = 0;
  // An APDU for the reader itself, by a way that reaches it with no card in the field where there is one.
  virtual reader::Expected<reader::Bytes> ToReader(std::span<const std::uint8_t> apdu) { return Transmit(apdu); }
};

class Dialect {
 public:
  virtual ~Dialect() = default;
  virtual std::string_view Name() const = 0;
  virtual reader::Expected<reader::Bytes> Exchange(std::span<const std::uint8_t> frame,
                                                   std::chrono::milliseconds cardTime) = 0;
  // By default, the Polling command as a frame.
  virtual reader::Expected<reader::PollingAnswer> Poll(const reader::PollingRequest& request,
                                                       std::chrono::milliseconds cardTime) {
    return reader::PollByFrame(request, [&](const reader::Bytes& frame) { return Exchange(frame, cardTime); });
  }
  virtual void End() {}  // leaves the reader as it was found
};

// NoReader's detail when the reader refused the session and speaks none of the three.
inline constexpr std::string_view kSpeaksNone = "the reader speaks none of the FeliCa dialects";

// What the reader behind `channel` speaks; NoReader (kSpeaksNone) when none of the three.
// `cycleField`: a transparent session cycles the field before its first
// polling (false where the field has just been cycled).
reader::Expected<std::unique_ptr<Dialect>> Negotiate(Channel& channel, bool cycleField = true);

}  // namespace ccid
