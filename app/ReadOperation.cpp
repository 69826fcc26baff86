// The read operation: one whole reader cycle per press of READ.

#include <QLabel>
#include <array>

#include "BlockReader.h"
#include "FeliCa.h"
#include "FieldTexts.h"
#include "Form1.h"
#include "Utf8Text.h"
#include "ZeroFilled.h"

namespace {

constexpr std::size_t kBlockChars = 32;

// Block k of a block text: the 32 characters starting at 32·k.
std::string Block(const std::string& blockText, int k) {
  return blockText.substr(kBlockChars * static_cast<std::size_t>(k), kBlockChars);
}

void Append(QLabel* field, const std::string& part) { field->setText(field->text() + app::Utf8Text(part)); }

}  // namespace

QString Form1::QAVOVext(std::vector<std::uint8_t>& bytCardIdm, std::vector<std::uint8_t>& bytServiceCodeList,
                        std::int16_t intBlocknumber) {
  const std::string blockText =
      card::QAVOVext(bytCardIdm, bytServiceCodeList, intBlocknumber,
                     [this](std::string_view message) { Message->setText(app::Utf8Text(message)); });
  return QString::fromLatin1(blockText.data(), static_cast<qsizetype>(blockText.size()));
}

void Form1::Command_Click() {
  using FeliCa::WriteDiagnostic;

  if (initialize_library() == 0) {
    WriteDiagnostic("Can't initialize library.", "");
    Message->setText(app::Utf8Text(app::kNoReaderMessage));
    return;
  }
  if (open_reader_writer_auto() == 0) {
    WriteDiagnostic("Can't open reader writer.", "");
    Message->setText(app::Utf8Text(app::kNoReaderMessage));
    return;
  }
  Message->setText(QString());

  std::vector<std::uint8_t> idm(8, 0);
  std::array<std::uint8_t, 8> pmm{};
  std::array<std::uint8_t, 2> systemCode{0x00, 0x0B};
  std::uint8_t numberOfCards = 0;
  auto polling = card::ZeroFilled<PollingRecord>();
  polling.system_code = systemCode.data();
  polling.time_slot = 0;
  auto cardInformation = card::ZeroFilled<CardInformationRecord>();
  cardInformation.idm = idm.data();
  cardInformation.pmm = pmm.data();
  if (polling_and_get_card_information(&polling, &numberOfCards, &cardInformation) == 0) {
    Message->setText(app::Utf8Text(app::kNoCardMessage));
    FeliCa::ReportReaderFailure();
    return;
  }

  std::vector<std::uint8_t> serviceCodeList{0x0B, 0x02};
  const std::string pass = QAVOVext(idm, serviceCodeList, 3).toStdString();
  if (pass.empty()) return;
  PassDate->setText(app::Utf8Text(app::PassDateText(Block(pass, 0))));
  PassArea->setText(app::Utf8Text(app::PassAreaText(Block(pass, 1))));
  PassLimit->setText(app::Utf8Text(app::PassLimitText(Block(pass, 2))));

  serviceCodeList = {0x17, 0x04};
  const std::string purse = QAVOVext(idm, serviceCodeList, 2).toStdString();
  if (purse.empty()) return;
  ChargeLeft->setText(app::Utf8Text(app::ChargeLeftText(Block(purse, 0))));
  Debt->setText(app::Utf8Text(app::DebtText(Block(purse, 0))));

  serviceCodeList = {0x0F, 0x06};
  const std::string history = QAVOVext(idm, serviceCodeList, kHistoryCount).toStdString();
  if (history.empty()) return;
  for (int i = 0; i < kHistoryCount; ++i) {
    const std::string block = Block(history, i);
    QLabel* line = History[i];
    line->setText(app::Utf8Text(app::HistoryIndexText(i)));
    const std::string kindAndStation = app::HistoryKindAndStation(block);
    Append(line, kindAndStation);
    Append(line, app::HistoryDateTime(block));
    Append(line, app::HistoryAmountUsed(block));
    Append(line, app::HistoryBalance(block));
  }

  if (close_reader_writer() == 0) {
    WriteDiagnostic("Can't close reader writer.", "");
    return;
  }
  if (dispose_library() == 0) WriteDiagnostic("Can't dispose library.", "");
}
