#include "Frames.h"

#include <algorithm>

namespace felica {
namespace {

bool LengthConsistent(std::span<const std::uint8_t> frame, std::size_t minimum) {
  return frame.size() >= minimum && frame.size() <= kMaxFrameSize && frame[0] == frame.size();
}

bool IdmMatches(std::span<const std::uint8_t> frame, const Idm& idm) {
  return std::equal(idm.begin(), idm.end(), frame.begin() + 2);
}

}  // namespace

std::string_view Describe(DecodeError error) {
  switch (error) {
    case DecodeError::None: return "ok";
    case DecodeError::WrongLength: return "wrong frame length";
    case DecodeError::WrongResponseCode: return "wrong response code";
    case DecodeError::WrongIdm: return "answer from another card";
    case DecodeError::WrongBlockCount: return "wrong number of blocks";
  }
  return "unknown";
}

Bytes EncodePolling(std::uint8_t systemCode0, std::uint8_t systemCode1, std::uint8_t requestCode,
                    std::uint8_t timeSlot) {
  return {6, kPollingCommand, systemCode0, systemCode1, requestCode, timeSlot};
}

DecodeError DecodePolling(std::span<const std::uint8_t> frame, PollingAnswer& answer) {
  // 18 bytes, or 20 with the request data a request code asks for.
  if (!LengthConsistent(frame, 18) || (frame.size() != 18 && frame.size() != 20)) {
    return DecodeError::WrongLength;
  }
  if (frame[1] != kPollingResponse) return DecodeError::WrongResponseCode;
  std::copy_n(frame.begin() + 2, 8, answer.idm.begin());
  std::copy_n(frame.begin() + 10, 8, answer.pmm.begin());
  return DecodeError::None;
}

std::optional<std::vector<BlockListElement>> ParseBlockList(const std::uint8_t* list, int count,
                                                            int numberOfServices) {
  std::vector<BlockListElement> elements;
  elements.reserve(static_cast<std::size_t>(count));
  const std::uint8_t* p = list;
  for (int k = 0; k < count; ++k) {
    BlockListElement element;
    element.size = (p[0] & 0x80) ? 2 : 3;
    std::copy_n(p, element.size, element.bytes);
    p += element.size;
    if (element.serviceIndex() >= numberOfServices) return std::nullopt;
    elements.push_back(element);
  }
  return elements;
}

std::optional<Bytes> EncodeReadWithoutEncryption(const Idm& idm, std::span<const std::uint8_t> serviceCodeList,
                                                 int numberOfServices,
                                                 std::span<const BlockListElement> elements) {
  Bytes frame{0, kReadWithoutEncryptionCommand};
  frame.insert(frame.end(), idm.begin(), idm.end());
  frame.push_back(static_cast<std::uint8_t>(numberOfServices));
  frame.insert(frame.end(), serviceCodeList.begin(), serviceCodeList.begin() + 2 * numberOfServices);
  frame.push_back(static_cast<std::uint8_t>(elements.size()));
  for (const auto& element : elements) frame.insert(frame.end(), element.bytes, element.bytes + element.size);
  if (frame.size() > kMaxFrameSize) return std::nullopt;
  frame[0] = static_cast<std::uint8_t>(frame.size());
  return frame;
}

DecodeError DecodeReadWithoutEncryption(std::span<const std::uint8_t> frame, const Idm& expectedIdm,
                                        int expectedBlocks, ReadAnswer& answer) {
  if (!LengthConsistent(frame, 12)) return DecodeError::WrongLength;
  if (frame[1] != kReadWithoutEncryptionResponse) return DecodeError::WrongResponseCode;
  if (!IdmMatches(frame, expectedIdm)) return DecodeError::WrongIdm;
  answer.statusFlag1 = frame[10];
  answer.statusFlag2 = frame[11];
  answer.blockData.clear();
  if (answer.statusFlag1 != 0 || answer.statusFlag2 != 0) {
    // An error answer carries no block data.
    return frame.size() == 12 ? DecodeError::None : DecodeError::WrongLength;
  }
  if (frame.size() < 13) return DecodeError::WrongLength;
  const std::size_t blocks = frame[12];
  if (frame.size() != 13 + blocks * kBlockSize) return DecodeError::WrongLength;
  if (blocks != static_cast<std::size_t>(expectedBlocks)) return DecodeError::WrongBlockCount;
  answer.blockData.assign(frame.begin() + 13, frame.end());
  return DecodeError::None;
}

}  // namespace felica
