#pragma once
// The tool's one window: the display fields, the READ button and the read
// operation that a press of READ runs.

#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <vector>

class QGroupBox;
class QLabel;
class QPushButton;

class Form1 : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kHistoryCount = 20;

  explicit Form1(QWidget* parent = nullptr);

  // One whole reader cycle: initialise, open, poll, read the pass, purse and
  // history services into the display fields, close, dispose.
  void Command_Click();

  // The first intBlocknumber blocks of one service as 642 hexadecimal
  // characters, or the empty text after a failed read (by then Message shows
  // the read-error text and the reader cycle has ended).
  QString QAVOVext(std::vector<std::uint8_t>& bytCardIdm, std::vector<std::uint8_t>& bytServiceCodeList,
                   std::int16_t intBlocknumber);

  QString QAVO_GetStationName(const QString& strLineCode, const QString& strStationCode) const;
  QString QAVO_GetLineName(std::uint8_t bytLineCode) const;
  QString QAVO_GetKindName(const QString& strKindCode) const;

  // Controls, named as the window's controls are.
  QLabel* Label1 = nullptr;
  QLabel* Label3 = nullptr;
  QGroupBox* Frame2 = nullptr;
  QLabel* ChargeLeft = nullptr;
  QLabel* PassDate = nullptr;
  QLabel* Debt = nullptr;
  QLabel* PassLimit = nullptr;
  QLabel* PassArea = nullptr;
  QGroupBox* Frame1 = nullptr;
  std::array<QLabel*, kHistoryCount> History{};
  QLabel* Message = nullptr;
  QPushButton* Command = nullptr;
};
