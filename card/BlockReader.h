#pragma once
// Reads the first N blocks of one service of the polled card.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace card {

inline constexpr int kMaxBlocks = 20;
inline constexpr std::size_t kBlockDataSize = 321;  // 20 blocks of 16 bytes, and one byte more
inline constexpr std::string_view kReadErrorMessage = "読み込みエラーです。";

using MessageWriter = std::function<void(std::string_view)>;

// Returns the 642-character hexadecimal text of the block data area after a
// successful read. On a failed read, or on arguments the library cannot be
// given (IDm not 8 bytes, service code list under 2 bytes, block count
// outside 1..20), writes the read-error message, runs the failure report and
// returns the empty text.
std::string QAVOVext(std::vector<std::uint8_t>& bytCardIdm, std::vector<std::uint8_t>& bytServiceCodeList,
                     std::int16_t intBlocknumber, const MessageWriter& setMessage);

}  // namespace card
