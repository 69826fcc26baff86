#include "Frames.h"

#include <algorithm>

namespace reader {
namespace {

bool LengthConsistent(std::span<const std::uint8_t> frame, std::size_t minimum) {
  return frame.size() >= minimum && frame.size() <= kMaxFrameSize && frame[0] == frame.size();
}

}  // namespace

Bytes EncodePolling(const PollingRequest& request) {
  return {6, kPollingCommand, request.systemCode[0], request.systemCode[1], request.requestCode, request.timeSlot};
}

Expected<PollingAnswer> DecodePolling(std::span<const std::uint8_t> frame) {
  if (!LengthConsistent(frame, 18) || (frame.size() != 18 && frame.size() != 20)) {
    return Fail(ErrorKind::BadResponse, "polling answer of wrong length");
  }
  if (frame[1] != kPollingResponse) return Fail(ErrorKind::BadResponse, "not a polling answer");
  PollingAnswer answer;
  std::copy_n(frame.begin() + 2, 8, answer.idm.begin());
  std::copy_n(frame.begin() + 10, 8, answer.pmm.begin());
  return answer;
}

Expected<Bytes> EncodeReadWithoutEncryption(const Idm& idm, std::span<const std::uint16_t> serviceCodes,
                                            std::span<const BlockListElement> elements) {
  Bytes frame{0, kReadWithoutEncryptionCommand};
  frame.insert(frame.end(), idm.begin(), idm.end());
  frame.push_back(static_cast<std::uint8_t>(serviceCodes.size()));
  for (std::uint16_t code : serviceCodes) {
    frame.push_back(static_cast<std::uint8_t>(code & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(code >> 8));
  }
  frame.push_back(static_cast<std::uint8_t>(elements.size()));
  for (const auto& element : elements) frame.insert(frame.end(), element.bytes, element.bytes + element.size);
  if (frame.size() > kMaxFrameSize) return Fail(ErrorKind::InvalidArgument, "read command longer than 255 bytes");
  frame[0] = static_cast<std::uint8_t>(frame.size());
  return frame;
}

Expected<ReadAnswer> DecodeReadWithoutEncryption(std::span<const std::uint8_t> frame, const Idm& expectedIdm,
                                                 int expectedBlocks) {
  if (!LengthConsistent(frame, 12)) return Fail(ErrorKind::BadResponse, "read answer of wrong length");
  if (frame[1] != kReadWithoutEncryptionResponse) return Fail(ErrorKind::BadResponse, "not a read answer");
  if (!std::equal(expectedIdm.begin(), expectedIdm.end(), frame.begin() + 2)) {
    return Fail(ErrorKind::CardSwapped, "read answered by another card");
  }
  ReadAnswer answer;
  answer.statusFlag1 = frame[10];
  answer.statusFlag2 = frame[11];
  if (answer.statusFlag1 != 0 || answer.statusFlag2 != 0) {
    // An error answer carries no block data.
    if (frame.size() != 12) return Fail(ErrorKind::BadResponse, "error answer with data");
    return answer;
  }
  const std::size_t blocks = frame.size() >= 13 ? frame[12] : 0;
  if (frame.size() < 13 || frame.size() != 13 + blocks * kBlockSize) {
    return Fail(ErrorKind::BadResponse, "read answer of wrong length");
  }
  if (blocks != static_cast<std::size_t>(expectedBlocks)) {
    return Fail(ErrorKind::BadResponse, "wrong number of blocks in the read answer");
  }
  answer.blockData.assign(frame.begin() + 13, frame.end());
  return answer;
}

}  // namespace reader
