// Any bytes as a card's answers: the decoders and the read path must refuse
// or accept them without reading or writing out of bounds, and a read that
// succeeds has exactly the blocks asked for.
#include <cstddef>
#include <cstdint>
#include <span>

#include "Frames.h"
#include "ReaderSession.h"

namespace {

const reader::Idm kIdm{0x01, 0x12, 0x04, 0x1E, 0x5A, 0x3C, 0x7D, 0x01};

// Answers polling properly, then hands out the input as read answers, each
// as long as its own first byte says.
class FuzzTransport : public reader::Transport {
 public:
  explicit FuzzTransport(std::span<const std::uint8_t> input) : input_(input) {}
  std::string_view Name() const override { return "fuzz"; }
  reader::Expected<reader::Bytes> Exchange(std::span<const std::uint8_t> frame, std::chrono::milliseconds) override {
    if (frame[1] == reader::kPollingCommand) {
      reader::Bytes answer{18, reader::kPollingResponse};
      answer.insert(answer.end(), kIdm.begin(), kIdm.end());
      answer.insert(answer.end(), 8, 0x00);
      return answer;
    }
    if (input_.empty()) return reader::Fail(reader::ErrorKind::Timeout);
    const std::size_t length = std::min<std::size_t>(input_.size(), input_[0] ? input_[0] : 1);
    reader::Bytes answer(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(length));
    input_ = input_.subspan(length);
    return answer;
  }

 private:
  std::span<const std::uint8_t> input_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  (void)reader::DecodePolling(input);
  (void)reader::DecodeReadWithoutEncryption(input, kIdm, size > 12 ? data[12] : 1);

  reader::ReaderSession session(std::make_unique<FuzzTransport>(input));
  if (session.Poll({{0x00, 0x0B}, 0, 0})) {
    reader::ReadRequest request{kIdm, {0x060F}, {}};
    for (int k = 0; k < 20; ++k) request.blocks.push_back({{0x80, static_cast<std::uint8_t>(k)}, 2});
    if (auto result = session.Read(request); result && result->blockData.size() != 320) __builtin_trap();
  }
  return 0;
}
