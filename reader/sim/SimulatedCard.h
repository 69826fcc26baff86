#pragma once
// A FeliCa card played from a card image: answers Polling and Read Without
// Encryption frames as a card would, or stays silent as a card would.

#include <span>

#include "CardImage.h"
#include "Expected.h"

namespace sim {

class SimulatedCard {
 public:
  explicit SimulatedCard(CardImage image);

  // The answer frame. Timeout where a card would not answer (a malformed
  // frame, another card's IDm, a system it lacks); BadConfiguration where
  // the card would answer with data that the image lacks.
  reader::Expected<reader::Bytes> Answer(std::span<const std::uint8_t> frame);

  const SimulationSettings& Settings() const { return image_.settings; }
  const reader::Pmm& Pmm() const { return image_.pmm; }

 private:
  reader::Expected<reader::Bytes> AnswerPolling(std::span<const std::uint8_t> frame);
  reader::Expected<reader::Bytes> AnswerRead(std::span<const std::uint8_t> frame);

  CardImage image_;
  const System* selected_ = nullptr;  // the system the last polling selected
  std::uint16_t selectedCode_ = 0;
};

}  // namespace sim
