#pragma once
// The simulated reader: a SimulatedCard in its field, with the faults the
// card image asks for (no card, card removed, slow card).

#include "SimulatedCard.h"
#include "Transport.h"

namespace sim {

class SimTransport : public reader::Transport {
 public:
  explicit SimTransport(CardImage image);

  std::string_view Name() const override { return "sim"; }
  reader::Expected<reader::Bytes> Exchange(std::span<const std::uint8_t> frame,
                                           std::chrono::milliseconds cardTime) override;

 private:
  SimulatedCard card_;
  int commandsAnswered_ = 0;
};

// The driver table's entry: `path` names the card image.
reader::OpenResult Open(std::string_view path);

}  // namespace sim
