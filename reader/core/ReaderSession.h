#pragma once
// One open reader: polls a card and reads its blocks, splitting a request
// into as few commands as the card accepts.

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "Expected.h"
#include "Frames.h"
#include "Transport.h"

namespace reader {

struct ReadRequest {
  Idm idm{};
  std::vector<std::uint16_t> serviceCodes;
  std::vector<BlockListElement> blocks;
};

struct BlocksRead {
  Bytes blockData;  // 16 bytes a block, exactly as many as asked for
  std::uint8_t statusFlag1 = 0;
  std::uint8_t statusFlag2 = 0;
};

class ReaderSession {
 public:
  explicit ReaderSession(std::unique_ptr<Transport> transport);

  Expected<PollingAnswer> Poll(const PollingRequest& request);
  Expected<BlocksRead> Read(const ReadRequest& request);

  int CommandsSent() const { return commandsSent_; }

 private:
  // Polls again after a silence: whether the card that answers is this one;
  // CardLost when none answers, or the reader's own failure.
  Expected<bool> SameCardPresent(const Idm& idm);
  Expected<Bytes> Exchange(std::span<const std::uint8_t> frame, std::chrono::milliseconds cardTime);
  Expected<PollingAnswer> TracedPoll(const PollingRequest& request);
  // One diagnostic line for a failure that says why: the reader, the step, the detail.
  void Log(std::string_view step, const Error& error) const;

  std::unique_ptr<Transport> transport_;
  std::optional<PollingAnswer> card_;
  PollingRequest polling_;
  int chunkSize_ = 12;
  int commandsSent_ = 0;
};

}  // namespace reader
