#pragma once
// One open reader: polls a card and reads its blocks, splitting a request
// into as few commands as the card accepts.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "Expected.h"
#include "Frames.h"
#include "Transport.h"

namespace reader {

struct ReadRequest {
  felica::Idm idm{};
  std::vector<std::uint16_t> serviceCodes;
  std::vector<felica::BlockListElement> blocks;
};

struct ReadResult {
  felica::Bytes blockData;  // 16 bytes a block, exactly as many as asked for
  std::uint8_t statusFlag1 = 0;
  std::uint8_t statusFlag2 = 0;
};

class ReaderSession {
 public:
  explicit ReaderSession(std::unique_ptr<Transport> transport);

  Expected<felica::PollingAnswer> Poll(const felica::PollingRequest& request);
  Expected<ReadResult> Read(const ReadRequest& request);

  int CommandsSent() const { return commandsSent_; }

 private:
  enum class Presence { SameCard, OtherCard, Gone };
  Presence CheckPresence(const felica::Idm& idm);
  Expected<felica::Bytes> Exchange(std::span<const std::uint8_t> frame, std::chrono::milliseconds cardTime);

  std::unique_ptr<Transport> transport_;
  std::optional<felica::PollingAnswer> card_;
  felica::PollingRequest polling_;
  int chunkSize_ = 12;
  int commandsSent_ = 0;
};

}  // namespace reader
