#pragma once
// The texts shown for the card's blocks. A block is its 32 hexadecimal
// characters; byte n of a block is the two characters at 2n.

#include <cstdint>
#include <string>
#include <string_view>

namespace app {

inline constexpr std::string_view kPassDateLabel = "定期券発券日：";
inline constexpr std::string_view kPassAreaLabel = "定期券区間　：";
inline constexpr std::string_view kPassLimitLabel = "定期券期間　：";
inline constexpr std::string_view kChargeLeftLabel = "チャージ残高：";
inline constexpr std::string_view kDebtLabel = "不足金額　　：";
inline constexpr std::string_view kHistoryInitialText = "------";
inline constexpr std::string_view kNoCardMessage = "Q.A.V.O.カードをパソリにおいてください。";
inline constexpr std::string_view kNoReaderMessage = "パソリが見つかりません。";

// Bytes [first, first + count) of a block, as their hexadecimal characters.
std::string_view Digits(std::string_view block, int first, int count = 1);

// The unsigned 16-bit value whose low byte is byte `first`.
std::uint16_t LE16(std::string_view block, int first);

// At least five digits, grouped by commas in threes: 0 -> "00,000", 65535 -> "65,535".
std::string AmountText(std::uint16_t value);

std::string PassDateText(std::string_view passBlock0);
std::string PassAreaText(std::string_view passBlock1);
std::string PassLimitText(std::string_view passBlock2);
std::string ChargeLeftText(std::string_view purseBlock0);
std::string DebtText(std::string_view purseBlock0);

// The five parts of history line i, in the order they are written.
std::string HistoryIndexText(int i);
std::string HistoryKindAndStation(std::string_view historyBlock);
std::string HistoryDateTime(std::string_view historyBlock);
std::string HistoryAmountUsed(std::string_view historyBlock);
std::string HistoryBalance(std::string_view historyBlock);

}  // namespace app
