#pragma once
// FeliCa command and response frames. Every frame starts with its length
// byte, which counts itself: a frame is at most 255 bytes.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "Bytes.h"

namespace felica {

inline constexpr std::uint8_t kPollingCommand = 0x00;
inline constexpr std::uint8_t kPollingResponse = 0x01;
inline constexpr std::uint8_t kReadWithoutEncryptionCommand = 0x06;
inline constexpr std::uint8_t kReadWithoutEncryptionResponse = 0x07;
inline constexpr std::size_t kBlockSize = 16;
inline constexpr std::size_t kMaxFrameSize = 255;
// 13 bytes of header and status leave room for 15 blocks in one answer.
inline constexpr int kMaxBlocksPerFrame = 15;

enum class DecodeError {
  None,
  WrongLength,        // length byte disagrees with the frame, or frame too short/long
  WrongResponseCode,  // not the answer to the command sent
  WrongIdm,           // answered by another card
  WrongBlockCount,    // a different number of blocks than asked for
};
std::string_view Describe(DecodeError error);

struct PollingAnswer {
  Idm idm{};
  Pmm pmm{};
};

// Polling: system code bytes in the order given, request code, time slot.
Bytes EncodePolling(std::uint8_t systemCode0, std::uint8_t systemCode1, std::uint8_t requestCode,
                    std::uint8_t timeSlot);
DecodeError DecodePolling(std::span<const std::uint8_t> frame, PollingAnswer& answer);

// One block list element as it stands on the wire: two bytes when the top
// bit of the first is set, three otherwise.
struct BlockListElement {
  std::uint8_t bytes[3]{};
  std::uint8_t size = 2;
  std::uint8_t serviceIndex() const { return bytes[0] & 0x0F; }
};

// Parses `count` elements from the caller's block list. Returns nullopt
// when an element names a service index beyond `numberOfServices`.
std::optional<std::vector<BlockListElement>> ParseBlockList(const std::uint8_t* list, int count,
                                                            int numberOfServices);

// Read Without Encryption. Service codes go low byte first, as they come.
// Returns nullopt when the frame would exceed 255 bytes.
std::optional<Bytes> EncodeReadWithoutEncryption(const Idm& idm, std::span<const std::uint8_t> serviceCodeList,
                                                 int numberOfServices,
                                                 std::span<const BlockListElement> elements);

struct ReadAnswer {
  std::uint8_t statusFlag1 = 0;
  std::uint8_t statusFlag2 = 0;
  Bytes blockData;  // 16 bytes a block; empty unless both flags are zero
};

// Checks length, response code, the echoed IDm and, when the card reports
// success, that exactly `expectedBlocks` blocks came back.
DecodeError DecodeReadWithoutEncryption(std::span<const std::uint8_t> frame, const Idm& expectedIdm,
                                        int expectedBlocks, ReadAnswer& answer);

}  // namespace felica
