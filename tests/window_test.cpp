// The window as laid out in twips (15 to a logical pixel), its fonts,
// colours, focus and input rules, against the scripted stand-in library.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QFontInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <cmath>

#include "FieldFonts.h"
#include "Form1.h"
#include "standin/ScriptedLibrary.h"
#include "support/QStringPrinter.h"

namespace {

int Px(int twips) { return static_cast<int>(std::lround(twips / 15.0)); }

struct Control {
  const char* name;
  const char* parent;  // object name of the container
  int left, top, width, height;
  const char* font;  // "field", "title" or "default"
  const char* initialText;
};

const Control kControls[] = {
    {"Label1", "Form1", 120, 120, 4335, 375, "title", "Q.A.V.O.Card Vexter Voza"},
    {"Label3", "Form1", 7440, 360, 1935, 255, "default", nullptr},
    {"Frame2", "Form1", 120, 600, 9255, 1215, "default", "乗車券情報"},
    {"ChargeLeft", "Frame2", 120, 240, 2175, 255, "field", "チャージ残高："},
    {"PassDate", "Frame2", 3480, 240, 4335, 255, "field", "定期券発券日："},
    {"Debt", "Frame2", 120, 540, 2175, 255, "field", "不足金額　　："},
    {"PassLimit", "Frame2", 3480, 540, 4335, 255, "field", "定期券期間　："},
    {"PassArea", "Frame2", 3480, 840, 5535, 255, "field", "定期券区間　："},
    {"Frame1", "Form1", 120, 1920, 9255, 5655, "default", "利用履歴"},
    {"Message", "Form1", 120, 7680, 8295, 375, "field", ""},
    {"Command", "Form1", 8520, 7680, 855, 375, "default", "READ"},
};

QString TextOf(QWidget* widget) {
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
  if (auto* box = qobject_cast<QGroupBox*>(widget)) return box->title();
  if (auto* button = qobject_cast<QPushButton*>(widget)) return button->text();
  return {};
}

class WindowTest : public testing::Test {
 protected:
  void SetUp() override { standin::Reset({}); }
  QWidget* Find(const QString& name) {
    if (name == "Form1") return &form;
    return form.findChild<QWidget*>(name);
  }
  int Presses() {
    const auto names = standin::CallNames();
    return static_cast<int>(std::count(names.begin(), names.end(), "initialize_library"));
  }
  Form1 form;
};

TEST_F(WindowTest, TitleAndFixedClientArea) {
  EXPECT_EQ(form.windowTitle(), "Q.A.V.O. Card Vexter Voza");
  EXPECT_EQ(form.size(), QSize(Px(9495), Px(8130)));
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  EXPECT_FALSE(form.windowIcon().isNull());
  const QImage icon(":/qavo/icon.png");
  EXPECT_EQ(icon.size(), QSize(32, 32));
  EXPECT_FALSE(icon.hasAlphaChannel());  // 24-bit colour
}

TEST_F(WindowTest, EveryControlInItsPlaceWithItsTextAndFont) {
  const QFont field = app::FieldFont();
  const QFont title = app::TitleFont();
  for (const Control& c : kControls) {
    SCOPED_TRACE(c.name);
    QWidget* widget = Find(c.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->parentWidget(), Find(c.parent));
    EXPECT_EQ(widget->geometry(), QRect(Px(c.left), Px(c.top), Px(c.width), Px(c.height)));
    if (c.initialText) {
      EXPECT_EQ(TextOf(widget), QString::fromUtf8(c.initialText));
    }
    const std::string font = c.font;
    const QFont expected = font == "field" ? field : font == "title" ? title : QApplication::font(widget);
    EXPECT_EQ(widget->font(), expected);
  }
  EXPECT_FALSE(form.Label3->text().isEmpty());
}

TEST_F(WindowTest, HistoryRowsAre265ApartThenTheLastIs270Below) {
  for (int i = 0; i < Form1::kHistoryCount; ++i) {
    SCOPED_TRACE(i);
    QLabel* line = form.History[i];
    EXPECT_EQ(line->objectName(), QStringLiteral("History(%1)").arg(i));
    EXPECT_EQ(line->parentWidget(), form.Frame1);
    EXPECT_EQ(line->text(), "------");
    const int top = i < 19 ? 240 + 265 * i : 5280;
    EXPECT_EQ(line->geometry(), QRect(Px(120), Px(top), Px(7815), Px(255)));
  }
  EXPECT_EQ(5280 - (240 + 265 * 18), 270);
  EXPECT_EQ(form.History[19]->y() - form.History[18]->y(), Px(5280) - Px(5010));
  // In the client area History(0) begins at (240, 2160) twips.
  EXPECT_EQ(form.History[0]->mapTo(&form, QPoint(0, 0)), QPoint(Px(240), Px(2160)));
  EXPECT_EQ(form.ChargeLeft->mapTo(&form, QPoint(0, 0)), QPoint(Px(240), Px(840)));
}

TEST_F(WindowTest, FieldFontIsMonospacedJapaneseWithDoubleWidthCharacters) {
  const QFont field = form.History[0]->font();
  EXPECT_EQ(field.pointSize(), 9);
  EXPECT_EQ(field.weight(), QFont::Normal);
  EXPECT_TRUE(app::HasDoubleWidthMetrics(field)) << QFontInfo(field).family().toStdString();
  EXPECT_EQ(QFontInfo(field).family(), "IPAGothic");  // installed with the program
  const QFont title = form.Label1->font();
  EXPECT_EQ(title.pointSize(), 18);
  EXPECT_EQ(title.weight(), QFont::Bold);
  EXPECT_TRUE(title.underline());
  EXPECT_EQ(QFontInfo(title).family(), "IPAPGothic");
}

TEST_F(WindowTest, FieldLabelsHoldTheirColumns) {
  // A History label holds 86 half-width columns, Message 92, and so on.
  const std::pair<QLabel*, int> columns[] = {{form.History[0], 86}, {form.PassArea, 61}, {form.PassDate, 48},
                                             {form.PassLimit, 48},  {form.ChargeLeft, 24}, {form.Debt, 24},
                                             {form.Message, 92}};
  for (const auto& [label, count] : columns) {
    const int columnWidth = QFontMetrics(label->font()).horizontalAdvance(QLatin1Char('0'));
    EXPECT_GE(label->width(), count * columnWidth - columnWidth / 2) << label->objectName().toStdString();
  }
}

TEST_F(WindowTest, LabelsArePlainOpaqueAndKeepTheirSize) {
  for (QLabel* label : form.findChildren<QLabel*>()) {
    SCOPED_TRACE(label->objectName().toStdString());
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
    EXPECT_TRUE(label->autoFillBackground());
    EXPECT_TRUE(label->alignment() & Qt::AlignLeft);
  }
  const QSize before = form.History[4]->size();
  form.History[4]->setText(QString(200, QChar(0x3000)) + "<b>x</b>");
  EXPECT_EQ(form.History[4]->size(), before);
  EXPECT_EQ(form.History[4]->text(), QString(200, QChar(0x3000)) + "<b>x</b>");
}

TEST_F(WindowTest, DialogColoursAndALightMessageBand) {
  const QPalette system = QApplication::palette();
  EXPECT_EQ(form.palette().color(QPalette::Window), system.color(QPalette::Button));
  EXPECT_EQ(form.palette().color(QPalette::WindowText), system.color(QPalette::ButtonText));
  EXPECT_EQ(form.Message->palette().color(QPalette::Window), system.color(QPalette::Light));
  EXPECT_EQ(form.Message->frameShape(), QFrame::Box);
  EXPECT_EQ(form.PassDate->palette().color(QPalette::Window), system.color(QPalette::Button));
}

TEST_F(WindowTest, ReadIsTheOnlyFocusableControlAndHasTheFocus) {
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
  EXPECT_FALSE(form.Command->isDefault());
  EXPECT_FALSE(form.Command->autoDefault());
  EXPECT_FALSE(form.Command->text().contains('&'));
}

TEST_F(WindowTest, ClickEnterAndSpaceEachPressOnce) {
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  QTest::mouseClick(form.Command, Qt::LeftButton);
  EXPECT_EQ(Presses(), 1);
  QTest::keyClick(form.Command, Qt::Key_Return);
  EXPECT_EQ(Presses(), 2);
  QTest::keyClick(form.Command, Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(Presses(), 3);
  QTest::keyClick(form.Command, Qt::Key_Space);
  EXPECT_EQ(Presses(), 4);
  QTest::keyClick(form.Command, Qt::Key_Return, Qt::ControlModifier);
  QTest::keyClick(form.Command, Qt::Key_R);
  QTest::keyClick(form.Command, Qt::Key_Escape);
  QTest::mouseClick(form.History[0], Qt::LeftButton);
  QTest::mouseDClick(form.Message, Qt::LeftButton);
  EXPECT_EQ(Presses(), 4);
}

TEST_F(WindowTest, ScreenReadersGetEachLabelsTextAsItsName) {
  form.History[2]->setText("  2：テスト");
  for (QLabel* label : form.findChildren<QLabel*>()) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(label);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->text(QAccessible::Name), label->text()) << label->objectName().toStdString();
  }
  QAccessibleInterface* button = QAccessible::queryAccessibleInterface(form.Command);
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->text(QAccessible::Name), "READ");
  EXPECT_EQ(button->role(), QAccessible::Button);
}

TEST_F(WindowTest, ClosingEndsAtOnceWithoutTouchingTheReader) {
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  EXPECT_TRUE(form.close());
  EXPECT_TRUE(standin::Calls().empty());
}

}  // namespace
