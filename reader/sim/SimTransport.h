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
  reader::TransportResult Exchange(std::span<const std::uint8_t> frame,
                                   std::chrono::milliseconds timeout) override;

 private:
  SimulatedCard card_;
  int commandsAnswered_ = 0;
};

}  // namespace sim
