#include "emulators/FelicaCard.h"

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>

#include "support/Hex.h"

namespace emulator {
namespace {

template <std::size_t N>
std::array<std::uint8_t, N> Hex(const std::string& text) {
  const auto parsed = testsupport::Hex(text);
  std::array<std::uint8_t, N> bytes{};
  std::copy_n(parsed.begin(), std::min(N, parsed.size()), bytes.begin());
  return bytes;
}

Bytes Status(const std::array<std::uint8_t, 8>& idm, std::uint8_t flag1, std::uint8_t flag2) {
  Bytes answer{0x0C, 0x07};
  Append(answer, idm);
  answer.push_back(flag1);
  answer.push_back(flag2);
  return answer;
}

}  // namespace

CardContent SampleCard(const std::string& fileName) {
  const auto image = nlohmann::json::parse(std::ifstream(std::string(QAVO_SAMPLES_DIR) + "/" + fileName));
  CardContent content;
  content.idm = Hex<8>(image["tagId"]);
  content.pmm = Hex<8>(image["felica"]["pMm"]);
  const auto& system = *image["felica"]["systems"].begin();
  content.systemCode = static_cast<std::uint16_t>(std::stoul(image["felica"]["systems"].begin().key()));
  for (const auto& [code, service] : system["services"].items()) {
    if (!service.contains("blocksMap")) continue;  // skipped: the card would refuse it without a key
    auto& blocks = content.services[static_cast<std::uint16_t>(std::stoul(code))];
    for (const auto& [number, block] : service["blocksMap"].items()) {
      blocks.resize(std::max(blocks.size(), std::stoul(number) + 1));
      blocks[std::stoul(number)] = Hex<16>(block["data"]);
    }
  }
  return content;
}

FelicaCard::FelicaCard(CardContent content, CardFaults faults) : content_(std::move(content)), faults_(faults) {}

std::optional<Bytes> FelicaCard::Answer(std::span<const std::uint8_t> frame) {
  if (!Present() || frame.size() < 2 || frame[0] != frame.size()) return std::nullopt;
  std::optional<Bytes> answer;
  if (frame[1] == 0x00 && frame.size() == 6) {  // Polling: system code (FF matches any byte), request code, slot
    const bool high = frame[2] == 0xFF || frame[2] == content_.systemCode >> 8;
    const bool low = frame[3] == 0xFF || frame[3] == (content_.systemCode & 0xFF);
    if (!high || !low) return std::nullopt;
    answer = Bytes{0x12, 0x01};
    Append(*answer, content_.idm);
    Append(*answer, content_.pmm);
    if (frame[4] == 0x01) {  // with the system code
      answer->push_back(static_cast<std::uint8_t>(content_.systemCode >> 8));
      answer->push_back(static_cast<std::uint8_t>(content_.systemCode & 0xFF));
      (*answer)[0] = 0x14;
    }
  } else if (frame[1] == 0x06 && frame.size() >= 16 &&
             std::equal(content_.idm.begin(), content_.idm.end(), frame.begin() + 2)) {
    answer = Read(frame);
  }
  if (answer) ++answered_;
  return answer;
}

std::optional<Bytes> FelicaCard::AnswerWithin(std::span<const std::uint8_t> frame,
                                              std::chrono::microseconds listening) {
  auto answer = Answer(frame);
  return answer && TimeFor(frame) <= listening ? answer : std::nullopt;
}

std::chrono::microseconds FelicaCard::TimeFor(std::span<const std::uint8_t> frame) const {
  if (frame.size() < 6) return {};
  if (frame[1] == 0x00) return std::chrono::microseconds(2417 + 1208 * frame[5]);
  const std::size_t at = 11 + 2 * static_cast<std::size_t>(frame[10]);
  const int blocks = at < frame.size() ? frame[at] : 0, e = content_.pmm[5] >> 6;
  const int b = content_.pmm[5] >> 3 & 7, a = content_.pmm[5] & 7;
  return std::chrono::microseconds(302 * ((b + 1) * blocks + a + 1) * (1 << 2 * e));
}

// 06 IDm(8) n service codes (low byte first) m elements (80 nn or 00 nn nn, service index in the low nibble)
std::optional<Bytes> FelicaCard::Read(std::span<const std::uint8_t> frame) {
  const std::size_t services = frame[10];
  std::size_t at = 11 + 2 * services;
  if (services < 1 || services > 16 || at >= frame.size()) return Status(content_.idm, 0xFF, 0xA1);
  const int count = frame[at++];
  if (count > faults_.maxBlocksPerRead) {
    if (faults_.silentAboveLimit) return std::nullopt;
    return Status(content_.idm, 0xFF, 0xA2);
  }
  Bytes data;
  for (int k = 0; k < count; ++k) {
    if (at + 2 > frame.size()) return std::nullopt;
    const bool twoBytes = frame[at] & 0x80;
    const std::size_t index = frame[at] & 0x0F;
    const unsigned number = twoBytes ? frame[at + 1] : frame[at + 1] | frame[at + 2] << 8;
    at += twoBytes ? 2 : 3;
    if (index >= services) return Status(content_.idm, static_cast<std::uint8_t>(1 << (k % 8)), 0xA3);
    const auto code = static_cast<std::uint16_t>(frame[11 + 2 * index] | frame[12 + 2 * index] << 8);
    const auto service = content_.services.find(code);
    if (service == content_.services.end()) return Status(content_.idm, 0x01, 0xA6);
    if (number >= service->second.size()) return Status(content_.idm, static_cast<std::uint8_t>(1 << (k % 8)), 0xA8);
    Append(data, service->second[number]);
  }
  if (at != frame.size()) return std::nullopt;
  Bytes answer = Status(content_.idm, 0x00, 0x00);
  answer.push_back(static_cast<std::uint8_t>(count));
  Append(answer, data);
  answer[0] = static_cast<std::uint8_t>(answer.size());
  return answer;
}

}  // namespace emulator
