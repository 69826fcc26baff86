// The window: its fixed size and rows in twips (15 to a logical pixel), its fonts and colours, its initial texts, and
// the ways READ is pressed, against the scripted stand-in library.
#include <gtest/gtest.h>

#include <QFontInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <cmath>

#include "FieldFonts.h"
#include "Form1.h"
#include "standin/ScriptedLibrary.h"
#include "support/FormFields.h"

namespace {

int Px(int twips) { return static_cast<int>(std::lround(twips / 15.0)); }

class WindowTest : public testing::Test {
 protected:
  void SetUp() override { standin::Reset({}); }
  int Presses() {
    const auto names = standin::CallNames();
    return static_cast<int>(std::count(names.begin(), names.end(), "initialize_library"));
  }
  Form1 form;
};

TEST_F(WindowTest, StartsWithItsInitialTextsInAFixedWindow) {
  EXPECT_EQ(form.windowTitle(), "Q.A.V.O. Card Vexter Voza");
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  const QImage icon(":/qavo/icon.png");
  EXPECT_EQ(icon.size(), QSize(32, 32));
  EXPECT_FALSE(icon.hasAlphaChannel());  // 24-bit colour
  // clang-format off
  testsupport::Fields initial{{"Message", ""}, {"PassDate", "定期券発券日："}, {"PassArea", "定期券区間　："},
      {"PassLimit", "定期券期間　："}, {"ChargeLeft", "チャージ残高："}, {"Debt", "不足金額　　："}};
  // clang-format on
  for (int i = 0; i < 20; ++i) initial[QStringLiteral("History(%1)").arg(i)] = "------";
  EXPECT_EQ(testsupport::AllFields(form), initial);
}

TEST_F(WindowTest, HistoryRowsAre265ApartThenTheLastIs270Below) {
  for (int i = 0; i < Form1::kHistoryCount; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(form.History[i]->parentWidget(), form.Frame1);
    EXPECT_EQ(form.History[i]->geometry(), QRect(Px(120), Px(i < 19 ? 240 + 265 * i : 5280), Px(7815), Px(255)));
  }
  // In the client area History(0) begins at (240, 2160) twips and ChargeLeft at (240, 840).
  EXPECT_EQ(form.History[0]->mapTo(&form, QPoint(0, 0)), QPoint(Px(240), Px(2160)));
  EXPECT_EQ(form.ChargeLeft->mapTo(&form, QPoint(0, 0)), QPoint(Px(240), Px(840)));
  EXPECT_EQ(form.Message->geometry().top(), form.Command->geometry().top());
  EXPECT_EQ(form.Message->height(), form.Command->height());
}

TEST_F(WindowTest, FieldFontIsMonospacedJapaneseAndEveryFieldHoldsItsColumns) {
  const QFont field = form.History[0]->font();
  EXPECT_EQ(field.pointSize(), 9);
  EXPECT_TRUE(app::HasDoubleWidthMetrics(field)) << QFontInfo(field).family().toStdString();
  EXPECT_EQ(QFontInfo(field).family(), "IPAGothic");  // installed with the program
  const QFont title = form.Label1->font();
  EXPECT_EQ(title.pointSize(), 18);
  EXPECT_EQ(title.weight(), QFont::Bold);
  EXPECT_TRUE(title.underline());
  EXPECT_EQ(form.Label1->geometry().adjusted(0, 0, Px(4335) - form.Label1->width(), 0), QRect(8, 8, Px(4335), Px(375)));
  for (const auto hinting : {QFont::PreferDefaultHinting, QFont::PreferFullHinting}) {  // the title shown whole
    QFont hinted = title;
    hinted.setHintingPreference(hinting);
    EXPECT_LE(QFontMetrics(hinted).horizontalAdvance(form.Label1->text()), form.Label1->width()) << hinting;
  }
  // A History label holds 86 half-width columns, Message 92, and so on.
  const std::pair<QLabel*, int> columns[] = {{form.History[0], 86}, {form.PassArea, 61},   {form.PassDate, 48},
                                             {form.PassLimit, 48},  {form.ChargeLeft, 24}, {form.Debt, 24},
                                             {form.Message, 92}};
  for (const auto& [label, count] : columns) {
    EXPECT_EQ(label->font(), field) << label->objectName().toStdString();
    const int column = QFontMetrics(field).horizontalAdvance(QLatin1Char('0'));
    EXPECT_GE(label->width(), count * column - column / 2) << label->objectName().toStdString();
  }
}

TEST_F(WindowTest, LabelsShowTheirTextsAsTheyAreOnDialogColours) {
  for (QLabel* label : form.findChildren<QLabel*>()) {
    SCOPED_TRACE(label->objectName().toStdString());
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
    EXPECT_TRUE(label->autoFillBackground());
  }
  const QSize before = form.History[4]->size();
  form.History[4]->setText(QString(200, QChar(0x3000)) + "<b>x</b>");
  EXPECT_EQ(form.History[4]->size(), before);
  EXPECT_EQ(form.palette().color(QPalette::WindowText), QApplication::palette().color(QPalette::ButtonText));
  EXPECT_EQ(form.Message->frameShape(), QFrame::Box);  // the colours are the screenshot check's
}

TEST_F(WindowTest, ReadAloneTakesTheFocusAndClickEnterAndSpaceEachPressIt) {
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  EXPECT_TRUE(form.Command->hasFocus());
  for (QWidget* widget : form.findChildren<QWidget*>()) {
    if (widget != form.Command) {
      EXPECT_EQ(widget->focusPolicy(), Qt::NoFocus) << widget->objectName().toStdString();
    }
  }
  QTest::keyClick(&form, Qt::Key_Tab);
  EXPECT_TRUE(form.Command->hasFocus());
  EXPECT_FALSE(form.Command->isDefault() || form.Command->autoDefault() || form.Command->text().contains('&'));
  QTest::mouseClick(form.Command, Qt::LeftButton);
  QTest::keyClick(form.Command, Qt::Key_Return);
  QTest::keyClick(form.Command, Qt::Key_Enter, Qt::KeypadModifier);
  QTest::keyClick(form.Command, Qt::Key_Space);
  EXPECT_EQ(Presses(), 4);
  QTest::keyClick(form.Command, Qt::Key_Return, Qt::ControlModifier);
  QTest::keyClick(form.Command, Qt::Key_R);
  QTest::keyClick(form.Command, Qt::Key_Escape);
  QTest::mouseClick(form.History[0], Qt::LeftButton);
  QTest::mouseDClick(form.Message, Qt::LeftButton);
  EXPECT_EQ(Presses(), 4);
  EXPECT_TRUE(form.close());  // at once, without touching the reader again
  EXPECT_EQ(Presses(), 4);
}

}  // namespace
