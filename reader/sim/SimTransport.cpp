#include "SimTransport.h"

#include <thread>

#include "Frames.h"
#include "ResponseTime.h"

namespace sim {

SimTransport::SimTransport(CardImage image) : card_(std::move(image)) {}

reader::Expected<reader::Bytes> SimTransport::Exchange(std::span<const std::uint8_t> frame,
                                                       std::chrono::milliseconds cardTime) {
  const auto& settings = card_.Settings();
  const bool present =
      !settings.noCard && (!settings.removeAfterCommands || commandsAnswered_ < *settings.removeAfterCommands);
  // A slow card is slow at reading; it answers polling in time.
  const bool polling = frame.size() > 1 && frame[1] == reader::kPollingCommand;
  const std::chrono::milliseconds delay(polling ? 0 : settings.responseDelayMs);

  auto answer = present ? card_.Answer(frame) : reader::Fail(reader::ErrorKind::Timeout);
  // The card takes as long over a read as its PMm allows: a reader that
  // listens for less hears nothing.
  const std::size_t count = frame.size() > 10 ? 11 + 2 * std::size_t{frame[10]} : frame.size();
  const auto pmmTime = polling || count >= frame.size() ? std::chrono::microseconds{}
                                                        : reader::ReadResponseTime(card_.Pmm(), frame[count]);
  if (answer && (delay > cardTime || pmmTime > cardTime)) answer = reader::Fail(reader::ErrorKind::Timeout);
  if (!answer) {
    // A reader waits out the card's whole time for an answer that never comes.
    if (answer.error().kind == reader::ErrorKind::Timeout) std::this_thread::sleep_for(cardTime);
    return answer;
  }
  if (delay.count() > 0) std::this_thread::sleep_for(delay);
  ++commandsAnswered_;
  return answer;
}

reader::OpenResult Open(std::string_view path) {
  using reader::ErrorKind;
  if (path.empty()) return reader::Fail(ErrorKind::BadConfiguration, "FELICA_READER=sim: needs a card image path");
  auto image = LoadCardImage(std::string(path));
  if (!image) {
    return reader::Fail(ErrorKind::BadConfiguration, "card image " + std::string(path) + ": " + image.error().detail);
  }
  return std::make_unique<SimTransport>(std::move(*image));
}

}  // namespace sim
