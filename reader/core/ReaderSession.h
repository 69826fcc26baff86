#pragma once
// One open reader: polls a card and reads its blocks, splitting a request
// into as few commands as the card accepts.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "Failure.h"
#include "Frames.h"
#include "Transport.h"

namespace reader {

class ReaderSession {
 public:
  explicit ReaderSession(std::unique_ptr<Transport> transport);

  // Polls for one card with the system code bytes in the order given.
  bool Poll(std::uint8_t systemCode0, std::uint8_t systemCode1, std::uint8_t timeSlot,
            felica::PollingAnswer& answer, Failure& failure);

  struct ReadResult {
    felica::Bytes blockData;  // 16 bytes a block, exactly as many as asked for
    std::uint8_t statusFlag1 = 0;
    std::uint8_t statusFlag2 = 0;
  };
  bool Read(const felica::Idm& idm, std::span<const std::uint8_t> serviceCodeList, int numberOfServices,
            std::span<const felica::BlockListElement> elements, ReadResult& result, Failure& failure);

  int CommandsSent() const { return commandsSent_; }
  int ChunkSize() const { return chunkSize_; }

 private:
  enum class Presence { SameCard, OtherCard, Gone };
  Presence CheckPresence(const felica::Idm& idm);
  TransportResult Send(std::span<const std::uint8_t> frame, std::chrono::milliseconds timeout, bool polling);

  std::unique_ptr<Transport> transport_;
  std::optional<felica::PollingAnswer> card_;
  felica::Bytes pollingFrame_;
  int chunkSize_ = 12;
  int commandsSent_ = 0;
};

}  // namespace reader
