// Any bytes as what a card or a reader answers; the first byte says whose: 0 a card's (the FeliCa decoders and the
// read path: a read that succeeds has exactly the blocks asked for), 1 a PC/SC reader's (data objects, status words,
// session and PN532 answers, the choice of dialect), 2 an RC-S380's (frames and InCommRF results). The rest is handed
// out one answer at a time, each as long as its first byte says. Nothing may read or write out of bounds.
#include <cstddef>
#include <cstdint>
#include <span>

#include "ContactlessApdu.h"
#include "Dialects.h"
#include "Port100Frame.h"
#include "ReaderSession.h"

namespace {

const reader::Idm kIdm{0x01, 0x12, 0x04, 0x1E, 0x5A, 0x3C, 0x7D, 0x01};

class Answers : public reader::Transport, public ccid::Channel {
 public:
  explicit Answers(std::span<const std::uint8_t> input) : input_(input) {}
  std::string_view Name() const override { return "fuzz"; }
  // A card answers polling properly, then with the input.
  reader::Expected<reader::Bytes> Exchange(std::span<const std::uint8_t> frame, std::chrono::milliseconds) override {
    if (frame[1] != reader::kPollingCommand) return Transmit({});
    reader::Bytes answer{18, reader::kPollingResponse};
    answer.insert(answer.end(), kIdm.begin(), kIdm.end());
    answer.insert(answer.end(), 8, 0x00);
    return answer;
  }
  reader::Expected<reader::Bytes> Transmit(std::span<const std::uint8_t>) override {
    if (input_.empty()) return reader::Fail(reader::ErrorKind::Timeout);
    const std::size_t length = std::min<std::size_t>(input_.size(), input_[0] ? input_[0] : 1);
    reader::Bytes answer(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(length));
    input_ = input_.subspan(length);
    return answer;
  }

 private:
  std::span<const std::uint8_t> input_;
};

void Card(std::span<const std::uint8_t> input) {
  (void)reader::DecodePolling(input);
  (void)reader::DecodeReadWithoutEncryption(input, kIdm, input.size() > 12 ? input[12] : 1);
  reader::ReaderSession session(std::make_unique<Answers>(input));
  if (!session.Poll({{0x00, 0x0B}, 0, 0})) return;
  reader::ReadRequest request{kIdm, {0x060F}, {}};
  for (int k = 0; k < 20; ++k) request.blocks.push_back({{0x80, static_cast<std::uint8_t>(k)}, 2});
  if (auto result = session.Read(request); result && result->blockData.size() != 320) __builtin_trap();
}

void PcscReader(std::span<const std::uint8_t> input) {
  (void)ccid::ParseDataObjects(input);
  if (auto response = ccid::SplitResponse(input)) {
    (void)ccid::SessionStepAccepted(*response);
    (void)ccid::TransparentAnswer(*response);
    if (auto parameters = ccid::Pn532Answer(*response, 0x4A)) (void)ccid::Pn532PollingAnswer(*parameters);
    if (auto parameters = ccid::Pn532Answer(*response, 0x40)) (void)ccid::Pn532ExchangeAnswer(*parameters);
  }
  Answers channel(input);
  auto dialect = ccid::Negotiate(channel, false);  // no field cycle: its waits would slow the fuzzing
  if (!dialect) return;
  if ((*dialect)->Poll({{0x00, 0x0B}, 0, 0}, std::chrono::milliseconds(60))) {
    const std::uint8_t frame[] = {16, 0x06, 1, 2, 3, 4, 5, 6, 7, 8, 0x01, 0x0F, 0x06, 0x01, 0x80, 0x00};
    (void)(*dialect)->Exchange(frame, std::chrono::milliseconds(40));
  }
  (*dialect)->End();
}

void Rcs380(std::span<const std::uint8_t> input) {
  const auto frame = port100::DecodeFrame(input);
  if (frame.kind == port100::FrameKind::Data && frame.data.size() + 10 > input.size()) __builtin_trap();
  if (frame.kind == port100::FrameKind::Data && frame.data.size() >= 2) {
    if (auto card = port100::ParseInCommRfResult(std::span(frame.data).subspan(2)); card && card->size() > input.size())
      __builtin_trap();
  }
  (void)port100::ParseInCommRfResult(input);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::span<const std::uint8_t> input(data + 1, size - 1);
  void (*const answerers[])(std::span<const std::uint8_t>) = {Card, PcscReader, Rcs380};
  answerers[data[0] % 3](input);
  return 0;
}
