#include "FieldTexts.h"

#include "CodeTables.h"
#include "Hex.h"

namespace app {
namespace {

// A pair that is not two hexadecimal digits counts as 0.
unsigned ByteValue(std::string_view block, int n) {
  const auto pair = Digits(block, n);
  if (pair.size() != 2) return 0;
  const int high = hex::DigitValue(pair[0]);
  const int low = hex::DigitValue(pair[1]);
  if (high < 0 || low < 0) return 0;
  return static_cast<unsigned>(high << 4 | low);
}

std::string StationName(std::string_view block, int lineByte) {
  return vocab::QAVO_GetStationName(Digits(block, lineByte), Digits(block, lineByte + 1));
}

// year (2 bytes), month, day as "YYYY年MM月DD日"
std::string DateText(std::string_view block, int yearByte) {
  std::string text(Digits(block, yearByte, 2));
  text += "年";
  text += Digits(block, yearByte + 2);
  text += "月";
  text += Digits(block, yearByte + 3);
  text += "日";
  return text;
}

}  // namespace

std::string_view Digits(std::string_view block, int first, int count) {
  const auto start = static_cast<std::size_t>(2 * first);
  if (first < 0 || count < 0 || start >= block.size()) return {};
  return block.substr(start, static_cast<std::size_t>(2 * count));
}

std::uint16_t LE16(std::string_view block, int first) {
  return static_cast<std::uint16_t>(ByteValue(block, first) | ByteValue(block, first + 1) << 8);
}

std::string AmountText(std::uint16_t value) {
  std::string digits = std::to_string(value);
  if (digits.size() < 5) digits.insert(0, 5 - digits.size(), '0');
  std::string text;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
    text += digits[i];
  }
  return text;
}

std::string PassDateText(std::string_view passBlock0) { return std::string(kPassDateLabel) + DateText(passBlock0, 6); }

std::string PassAreaText(std::string_view passBlock1) {
  return std::string(kPassAreaLabel) + StationName(passBlock1, 0) + "～" + StationName(passBlock1, 2);
}

std::string PassLimitText(std::string_view passBlock2) {
  return std::string(kPassLimitLabel) + DateText(passBlock2, 4) + "～" + DateText(passBlock2, 8);
}

std::string ChargeLeftText(std::string_view purseBlock0) {
  return std::string(kChargeLeftLabel) + AmountText(LE16(purseBlock0, 0)) + "円";
}

std::string DebtText(std::string_view purseBlock0) {
  return std::string(kDebtLabel) + AmountText(LE16(purseBlock0, 12)) + "円";
}

std::string HistoryIndexText(int i) {
  std::string number = std::to_string(i);
  if (number.size() < 3) number.insert(0, 3 - number.size(), ' ');
  return number + "：";
}

std::string HistoryKindAndStation(std::string_view historyBlock) {
  return vocab::QAVO_GetKindName(Digits(historyBlock, 0, 2)) + "/" + StationName(historyBlock, 2);
}

std::string HistoryDateTime(std::string_view historyBlock) {
  std::string text = "/" + DateText(historyBlock, 6);
  text += Digits(historyBlock, 10);
  text += ":";
  text += Digits(historyBlock, 11);
  return text;
}

std::string HistoryAmountUsed(std::string_view historyBlock) {
  return "/使用 " + AmountText(LE16(historyBlock, 12)) + "円";
}

std::string HistoryBalance(std::string_view historyBlock) {
  return "/残高 " + AmountText(LE16(historyBlock, 14)) + "円";
}

}  // namespace app
