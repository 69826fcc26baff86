#include "SimTransport.h"

#include <thread>

#include "Frames.h"

namespace sim {

SimTransport::SimTransport(CardImage image) : card_(std::move(image)) {}

reader::TransportResult SimTransport::Exchange(std::span<const std::uint8_t> frame,
                                               std::chrono::milliseconds timeout) {
  using reader::TransportStatus;
  const auto& settings = card_.Settings();
  const bool present =
      !settings.noCard && (!settings.removeAfterCommands || commandsAnswered_ < *settings.removeAfterCommands);
  // A slow card is slow at reading; it answers polling in time.
  const bool polling = frame.size() > 1 && frame[1] == felica::kPollingCommand;
  const std::chrono::milliseconds delay(polling ? 0 : settings.responseDelayMs);

  std::optional<felica::Bytes> answer;
  if (present) answer = card_.Answer(frame);
  if (!answer || delay > timeout) {
    // A reader waits out its whole timeout for an answer that never comes.
    std::this_thread::sleep_for(timeout);
    return {TransportStatus::Timeout, {}, {}};
  }
  if (delay.count() > 0) std::this_thread::sleep_for(delay);
  ++commandsAnswered_;
  return {TransportStatus::Ok, std::move(*answer), {}};
}

}  // namespace sim
