// Any bytes as what a PC/SC reader answers: data objects, status words,
// transparent-session and PN532 answers, and the choice of dialect, fed
// with the input one answer at a time.
#include <cstddef>
#include <cstdint>
#include <span>

#include "ContactlessApdu.h"
#include "Dialects.h"

namespace {

// Each answer is as long as its first byte says.
class FuzzChannel : public ccid::Channel {
 public:
  explicit FuzzChannel(std::span<const std::uint8_t> input) : input_(input) {}
  reader::Expected<reader::Bytes> Transmit(std::span<const std::uint8_t>) override {
    if (input_.empty()) return reader::Fail(reader::ErrorKind::CardLost);
    const std::size_t length = std::min<std::size_t>(input_.size() - 1, input_[0]);
    reader::Bytes answer(input_.begin() + 1, input_.begin() + 1 + static_cast<std::ptrdiff_t>(length));
    input_ = input_.subspan(1 + length);
    return answer;
  }

 private:
  std::span<const std::uint8_t> input_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  (void)ccid::ParseDataObjects(input);
  if (auto response = ccid::SplitResponse(input)) {
    (void)ccid::SessionStepAccepted(*response);
    (void)ccid::TransparentAnswer(*response);
    if (auto parameters = ccid::Pn532Answer(*response, 0x4A)) (void)ccid::Pn532PollingAnswer(*parameters);
    if (auto parameters = ccid::Pn532Answer(*response, 0x40)) (void)ccid::Pn532ExchangeAnswer(*parameters);
  }
  FuzzChannel channel(input);
  if (auto dialect = ccid::Negotiate(channel)) {
    if ((*dialect)->Poll({{0x00, 0x0B}, 0, 0}, std::chrono::milliseconds(60))) {
      const std::uint8_t frame[] = {16, 0x06, 1, 2, 3, 4, 5, 6, 7, 8, 0x01, 0x0F, 0x06, 0x01, 0x80, 0x00};
      (void)(*dialect)->Exchange(frame, std::chrono::milliseconds(40));
    }
    (*dialect)->End();
  }
  return 0;
}
