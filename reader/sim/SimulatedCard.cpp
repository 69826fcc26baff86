#include "SimulatedCard.h"

#include <algorithm>
#include "Frames.h"
#include "Hex.h"

namespace sim {
namespace {

using reader::ErrorKind;
using reader::Fail;

reader::Unexpected Silent() { return Fail(ErrorKind::Timeout); }

bool SystemCodeMatches(std::uint16_t wanted, std::uint16_t code) {
  // 0xFF in either byte of the request matches any value there.
  const bool highOk = (wanted >> 8) == 0xFF || (wanted >> 8) == (code >> 8);
  const bool lowOk = (wanted & 0xFF) == 0xFF || (wanted & 0xFF) == (code & 0xFF);
  return highOk && lowOk;
}

// Status flag 1 for an error at list position i: its bit, as cards set it.
std::uint8_t Position(std::size_t i) { return static_cast<std::uint8_t>(1u << (i % 8)); }

reader::Bytes StatusOnlyAnswer(const reader::Idm& idm, std::uint8_t flag1, std::uint8_t flag2) {
  reader::Bytes frame{12, reader::kReadWithoutEncryptionResponse};
  frame.insert(frame.end(), idm.begin(), idm.end());
  frame.push_back(flag1);
  frame.push_back(flag2);
  return frame;
}

}  // namespace

SimulatedCard::SimulatedCard(CardImage image) : image_(std::move(image)) {}

reader::Expected<reader::Bytes> SimulatedCard::Answer(std::span<const std::uint8_t> frame) {
  if (frame.size() < 2 || frame[0] != frame.size()) return Silent();
  switch (frame[1]) {
    case reader::kPollingCommand: return AnswerPolling(frame);
    case reader::kReadWithoutEncryptionCommand: return AnswerRead(frame);
    default: return Silent();
  }
}

reader::Expected<reader::Bytes> SimulatedCard::AnswerPolling(std::span<const std::uint8_t> frame) {
  if (frame.size() != 6) return Silent();
  const auto wanted = static_cast<std::uint16_t>(frame[2] << 8 | frame[3]);
  const std::uint8_t requestCode = frame[4];
  const auto it = std::find_if(image_.systems.begin(), image_.systems.end(),
                               [&](const auto& entry) { return SystemCodeMatches(wanted, entry.first); });
  if (it == image_.systems.end()) return Silent();
  selected_ = &it->second;
  selectedCode_ = it->first;

  reader::Bytes answer{18, reader::kPollingResponse};
  answer.insert(answer.end(), image_.idm.begin(), image_.idm.end());
  answer.insert(answer.end(), image_.pmm.begin(), image_.pmm.end());
  if (requestCode == 0x01) {  // system code request
    answer.push_back(static_cast<std::uint8_t>(selectedCode_ >> 8));
    answer.push_back(static_cast<std::uint8_t>(selectedCode_ & 0xFF));
  } else if (requestCode == 0x02) {  // communication performance: 212 and 424 kbps
    answer.push_back(0x00);
    answer.push_back(0x83);
  }
  answer[0] = static_cast<std::uint8_t>(answer.size());
  return answer;
}

reader::Expected<reader::Bytes> SimulatedCard::AnswerRead(std::span<const std::uint8_t> frame) {
  if (!selected_ || frame.size() < 14) return Silent();
  if (!std::equal(image_.idm.begin(), image_.idm.end(), frame.begin() + 2)) return Silent();
  const reader::Idm& replyIdm = image_.settings.answerIdm ? *image_.settings.answerIdm : image_.idm;

  const std::size_t services = frame[10];
  if (services < 1 || services > 16)
    return StatusOnlyAnswer(replyIdm, reader::kStatusWholeCommand, reader::kStatusIllegalServiceCount);
  std::size_t pos = 11;
  if (frame.size() < pos + 2 * services + 1) return Silent();
  std::vector<std::pair<std::uint16_t, const Service*>> serviceList;
  for (std::size_t s = 0; s < services; ++s, pos += 2) {
    const auto code = static_cast<std::uint16_t>(frame[pos] | frame[pos + 1] << 8);
    if (selected_->skipped) {
      return Fail(ErrorKind::BadConfiguration, "the card image lacks service " + hex::Word(code) + " of system " +
                                                   hex::Word(selectedCode_) + ", a system the dump skipped");
    }
    const auto found = selected_->services.find(code);
    // Reading a service that needs a key, without one, is refused as reading one that is not there.
    if (found == selected_->services.end() || found->second.skipped) {
      return StatusOnlyAnswer(replyIdm, Position(s), reader::kStatusIllegalService);
    }
    serviceList.emplace_back(code, &found->second);
  }
  const int blocks = frame[pos++];
  if (blocks < 1) return StatusOnlyAnswer(replyIdm, reader::kStatusWholeCommand, reader::kStatusIllegalBlockCount);
  if (blocks > image_.settings.maxBlocksPerRead) {
    if (image_.settings.silentAboveLimit) return Silent();
    return StatusOnlyAnswer(replyIdm, reader::kStatusWholeCommand, reader::kStatusIllegalBlockCount);
  }

  reader::Bytes data;
  for (int k = 0; k < blocks; ++k) {
    if (pos >= frame.size()) return Silent();
    const std::uint8_t head = frame[pos];
    const std::size_t size = (head & 0x80) ? 2 : 3;
    if (pos + size > frame.size()) return Silent();
    const auto number = static_cast<std::uint16_t>(size == 2 ? frame[pos + 1] : frame[pos + 1] | frame[pos + 2] << 8);
    pos += size;
    const std::size_t serviceIndex = head & 0x0F;
    if (serviceIndex >= serviceList.size())
      return StatusOnlyAnswer(replyIdm, Position(k), reader::kStatusIllegalServiceIndex);
    const auto& [code, service] = serviceList[serviceIndex];
    const auto block = service->blocks.find(number);
    if (block == service->blocks.end()) {
      // Past the last block of a whole dump, the card has no such block; in
      // a gap, or past the end of a dump that was cut off, the image cannot say.
      const bool pastTheEnd = service->blocks.empty() || number > service->blocks.rbegin()->first;
      if (pastTheEnd && !image_.partialRead)
        return StatusOnlyAnswer(replyIdm, Position(k), reader::kStatusIllegalBlockNumber);
      return Fail(ErrorKind::BadConfiguration, "the card image lacks block " + std::to_string(number) + " of service " +
                                                   hex::Word(code) +
                                                   (image_.partialRead ? " (the dump was cut off)" : ""));
    }
    data.insert(data.end(), block->second.begin(), block->second.end());
  }
  if (pos != frame.size()) return Silent();

  reader::Bytes answer = StatusOnlyAnswer(replyIdm, 0, 0);
  answer.push_back(static_cast<std::uint8_t>(blocks));
  answer.insert(answer.end(), data.begin(), data.end());
  answer[0] = static_cast<std::uint8_t>(answer.size());
  return answer;
}

}  // namespace sim
