// Any bytes as a card's answer: the decoders and the read path must refuse
// or accept them without reading or writing out of bounds. The same bytes
// as a command frame reach the simulated card.
#include <cstddef>
#include <cstdint>
#include <span>

#include "Frames.h"
#include "ReaderSession.h"
#include "SimulatedCard.h"

namespace {

const felica::Idm kIdm{0x01, 0x12, 0x04, 0x1E, 0x5A, 0x3C, 0x7D, 0x01};

// Answers polling properly, then hands out the fuzz input as read answers,
// each as long as its own first byte says.
class FuzzTransport : public reader::Transport {
 public:
  explicit FuzzTransport(std::span<const std::uint8_t> input) : input_(input) {}
  std::string_view Name() const override { return "fuzz"; }
  reader::TransportResult Exchange(std::span<const std::uint8_t> frame, std::chrono::milliseconds) override {
    if (frame[1] == felica::kPollingCommand) {
      felica::Bytes answer{18, felica::kPollingResponse};
      answer.insert(answer.end(), kIdm.begin(), kIdm.end());
      answer.insert(answer.end(), 8, 0x00);
      return {reader::TransportStatus::Ok, answer, {}};
    }
    if (input_.empty()) return {reader::TransportStatus::Timeout, {}, {}};
    const std::size_t length = std::min<std::size_t>(input_.size(), input_[0] ? input_[0] : 1);
    felica::Bytes answer(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(length));
    input_ = input_.subspan(length);
    return {reader::TransportStatus::Ok, answer, {}};
  }

 private:
  std::span<const std::uint8_t> input_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);

  felica::PollingAnswer polling;
  felica::DecodePolling(input, polling);
  felica::ReadAnswer read;
  felica::DecodeReadWithoutEncryption(input, kIdm, size > 12 ? data[12] : 1, read);

  reader::ReaderSession session(std::make_unique<FuzzTransport>(input));
  reader::Failure failure;
  if (session.Poll(0x00, 0x0B, 0, polling, failure)) {
    std::vector<std::uint8_t> list;
    for (int k = 0; k < 20; ++k) list.insert(list.end(), {0x80, static_cast<std::uint8_t>(k)});
    const auto elements = felica::ParseBlockList(list.data(), 20, 1);
    const std::uint8_t services[] = {0x0F, 0x06};
    reader::ReaderSession::ReadResult result;
    if (session.Read(kIdm, services, 1, *elements, result, failure) && result.blockData.size() != 320) __builtin_trap();
  }

  sim::CardImage image;
  image.idm = kIdm;
  sim::System system;
  system.services[0x060F].blocks.resize(3);
  image.systems.emplace_back(0x000B, system);
  sim::SimulatedCard card(image);
  const std::uint8_t poll[] = {6, 0, 0x00, 0x0B, 0, 0};
  card.Answer(poll);
  if (auto answer = card.Answer(input); answer && (answer->empty() || answer->size() > 255)) __builtin_trap();
  return 0;
}
