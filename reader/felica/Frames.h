#pragma once
// FeliCa command and response frames. Every frame starts with its length
// byte, which counts itself: a frame is at most 255 bytes.

#include <cstdint>
#include <span>
#include <vector>

#include "Bytes.h"
#include "Expected.h"

namespace reader {

inline constexpr std::uint8_t kPollingCommand = 0x00;
inline constexpr std::uint8_t kPollingResponse = 0x01;
inline constexpr std::uint8_t kReadWithoutEncryptionCommand = 0x06;
inline constexpr std::uint8_t kReadWithoutEncryptionResponse = 0x07;
inline constexpr std::size_t kBlockSize = 16;

// Status flag 2 of a read the card refuses (flag 1 is FF for the whole
// command, else the bit of the list position at fault).
inline constexpr std::uint8_t kStatusWholeCommand = 0xFF;
inline constexpr std::uint8_t kStatusIllegalServiceCount = 0xA1;
inline constexpr std::uint8_t kStatusIllegalBlockCount = 0xA2;
inline constexpr std::uint8_t kStatusIllegalServiceIndex = 0xA3;
inline constexpr std::uint8_t kStatusIllegalService = 0xA6;  // no such service, or it needs a key
inline constexpr std::uint8_t kStatusIllegalBlockNumber = 0xA8;
inline constexpr std::size_t kMaxFrameSize = 255;

struct PollingRequest {
  std::uint8_t systemCode[2] = {0xFF, 0xFF};  // in the order they are sent
  std::uint8_t requestCode = 0;
  std::uint8_t timeSlot = 0;
};

struct PollingAnswer {
  Idm idm{};
  Pmm pmm{};
};

Bytes EncodePolling(const PollingRequest& request);
// 18 bytes, or 20 with the request data that a request code asks for.
Expected<PollingAnswer> DecodePolling(std::span<const std::uint8_t> frame);

// Polling as a frame through `exchange(frame)`, for readers that carry FeliCa frames as they are.
template <typename Exchange>
Expected<PollingAnswer> PollByFrame(const PollingRequest& request, Exchange&& exchange) {
  auto answer = exchange(EncodePolling(request));
  if (!answer) return Unexpected(answer.error());
  return DecodePolling(*answer);
}

// One block list element as it stands on the wire: two bytes when the top
// bit of the first is set, three otherwise.
struct BlockListElement {
  std::uint8_t bytes[3]{};
  std::uint8_t size = 2;
  std::uint8_t serviceIndex() const { return bytes[0] & 0x0F; }
};

// Read Without Encryption, service codes low byte first on the wire.
// InvalidArgument when the frame would exceed 255 bytes.
Expected<Bytes> EncodeReadWithoutEncryption(const Idm& idm, std::span<const std::uint16_t> serviceCodes,
                                            std::span<const BlockListElement> elements);

struct ReadAnswer {
  std::uint8_t statusFlag1 = 0;
  std::uint8_t statusFlag2 = 0;
  Bytes blockData;  // 16 bytes a block; empty unless both flags are zero
};

// Checks length, response code, the echoed IDm (CardSwapped when another
// card answered) and, when the card reports success, that exactly
// `expectedBlocks` blocks came back (BadResponse otherwise).
Expected<ReadAnswer> DecodeReadWithoutEncryption(std::span<const std::uint8_t> frame, const Idm& expectedIdm,
                                                 int expectedBlocks);

}  // namespace reader
