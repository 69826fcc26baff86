#include "SimulatedCard.h"

#include <algorithm>

#include "Frames.h"

namespace sim {
namespace {

constexpr std::uint8_t kWholeCommand = 0xFF;  // status flag 1 for errors of the whole command

bool SystemCodeMatches(std::uint16_t wanted, std::uint16_t code) {
  // 0xFF in either byte of the request matches any value there.
  const bool highOk = (wanted >> 8) == 0xFF || (wanted >> 8) == (code >> 8);
  const bool lowOk = (wanted & 0xFF) == 0xFF || (wanted & 0xFF) == (code & 0xFF);
  return highOk && lowOk;
}

felica::Bytes ReadStatus(const felica::Idm& idm, std::uint8_t flag1, std::uint8_t flag2) {
  felica::Bytes frame{12, felica::kReadWithoutEncryptionResponse};
  frame.insert(frame.end(), idm.begin(), idm.end());
  frame.push_back(flag1);
  frame.push_back(flag2);
  return frame;
}

}  // namespace

SimulatedCard::SimulatedCard(CardImage image) : image_(std::move(image)) {}

std::optional<felica::Bytes> SimulatedCard::Answer(std::span<const std::uint8_t> frame) {
  if (frame.size() < 2 || frame[0] != frame.size()) return std::nullopt;
  switch (frame[1]) {
    case felica::kPollingCommand: return AnswerPolling(frame);
    case felica::kReadWithoutEncryptionCommand: return AnswerRead(frame);
    default: return std::nullopt;
  }
}

std::optional<felica::Bytes> SimulatedCard::AnswerPolling(std::span<const std::uint8_t> frame) {
  if (frame.size() != 6) return std::nullopt;
  const auto wanted = static_cast<std::uint16_t>(frame[2] << 8 | frame[3]);
  const std::uint8_t requestCode = frame[4];
  const auto it = std::find_if(image_.systems.begin(), image_.systems.end(),
                               [&](const auto& entry) { return SystemCodeMatches(wanted, entry.first); });
  if (it == image_.systems.end()) return std::nullopt;
  selected_ = &it->second;
  selectedCode_ = it->first;

  felica::Bytes answer{18, felica::kPollingResponse};
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

std::optional<felica::Bytes> SimulatedCard::AnswerRead(std::span<const std::uint8_t> frame) {
  if (!selected_ || frame.size() < 14) return std::nullopt;
  if (!std::equal(image_.idm.begin(), image_.idm.end(), frame.begin() + 2)) return std::nullopt;
  const felica::Idm& replyIdm = image_.settings.answerIdm ? *image_.settings.answerIdm : image_.idm;

  const int services = frame[10];
  if (services < 1 || services > 16) return ReadStatus(replyIdm, kWholeCommand, 0xA1);
  std::size_t pos = 11;
  if (frame.size() < pos + 2 * services + 1) return std::nullopt;
  std::vector<const Service*> serviceList;
  for (int s = 0; s < services; ++s, pos += 2) {
    const auto code = static_cast<std::uint16_t>(frame[pos] | frame[pos + 1] << 8);
    const auto found = selected_->services.find(code);
    if (found == selected_->services.end()) return ReadStatus(replyIdm, 0x01, 0xA6);
    serviceList.push_back(&found->second);
  }
  const int blocks = frame[pos++];
  if (blocks < 1) return ReadStatus(replyIdm, kWholeCommand, 0xA2);
  if (blocks > image_.settings.maxBlocksPerRead) {
    if (image_.settings.silentAboveLimit) return std::nullopt;
    return ReadStatus(replyIdm, kWholeCommand, 0xA2);
  }

  felica::Bytes data;
  for (int k = 0; k < blocks; ++k) {
    if (pos >= frame.size()) return std::nullopt;
    const std::uint8_t head = frame[pos];
    const std::size_t size = (head & 0x80) ? 2 : 3;
    if (pos + size > frame.size()) return std::nullopt;
    const unsigned number = size == 2 ? frame[pos + 1] : (frame[pos + 1] | frame[pos + 2] << 8);
    pos += size;
    const unsigned serviceIndex = head & 0x0F;
    if (serviceIndex >= serviceList.size()) return ReadStatus(replyIdm, 0x01, 0xA3);
    const auto& serviceBlocks = serviceList[serviceIndex]->blocks;
    if (number >= serviceBlocks.size()) return ReadStatus(replyIdm, 0x01, 0xA8);
    data.insert(data.end(), serviceBlocks[number].begin(), serviceBlocks[number].end());
  }
  if (pos != frame.size()) return std::nullopt;

  felica::Bytes answer = ReadStatus(replyIdm, 0, 0);
  answer.push_back(static_cast<std::uint8_t>(blocks));
  answer.insert(answer.end(), data.begin(), data.end());
  answer[0] = static_cast<std::uint8_t>(answer.size());
  return answer;
}

}  // namespace sim
