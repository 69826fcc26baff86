#include "Form1.h"

#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QPalette>
#include <algorithm>

#include "CodeTables.h"
#include "FieldFonts.h"
#include "FieldTexts.h"
#include "ReadButton.h"
#include "Twips.h"
#include "Utf8Text.h"

// The icon lives in a resource of this static library; it must be
// registered by hand, since nothing else pulls it into the program.
static void RegisterResources() { Q_INIT_RESOURCE(resources); }

namespace {

constexpr int kClientWidth = 9495;
constexpr int kClientHeight = 8130;

int HistoryTop(int i) { return i < Form1::kHistoryCount - 1 ? 240 + 265 * i : 5280; }

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, const QRect& twips, const QFont* font) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setTextFormat(Qt::PlainText);  // texts read back exactly as written
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  label->setAutoFillBackground(true);
  label->setGeometry(app::TwipsRect(twips.x(), twips.y(), twips.width(), twips.height()));
  if (font) label->setFont(*font);
  return label;
}

QGroupBox* MakeFrame(QWidget* parent, const char* name, const QString& caption, const QRect& twips) {
  auto* frame = new QGroupBox(caption, parent);
  frame->setObjectName(QString::fromLatin1(name));
  frame->setGeometry(app::TwipsRect(twips.x(), twips.y(), twips.width(), twips.height()));
  return frame;
}

}  // namespace

Form1::Form1(QWidget* parent) : QWidget(parent) {
  RegisterResources();
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Q.A.V.O. Card Vexter Voza"));
  setWindowIcon(QIcon(QStringLiteral(":/qavo/icon.png")));
  setFixedSize(app::TwipsToPixels(kClientWidth), app::TwipsToPixels(kClientHeight));

  // Dialog colours throughout: 3-D face behind, button text in front.
  QPalette colours = palette();
  colours.setColor(QPalette::Window, colours.color(QPalette::Button));
  colours.setColor(QPalette::WindowText, colours.color(QPalette::ButtonText));
  setPalette(colours);
  setAutoFillBackground(true);

  const QFont fieldFont = app::FieldFont();
  const QFont titleFont = app::TitleFont();

  Label1 = MakeLabel(this, "Label1", QStringLiteral("Q.A.V.O.Card Vexter Voza"), {120, 120, 4335, 375}, &titleFont);
  Label1->resize(std::max(Label1->width(), app::WidthUnderAnyHinting(titleFont, Label1->text())), Label1->height());
  Label3 = MakeLabel(this, "Label3", QStringLiteral("© 2026 Linux edition"), {7440, 360, 1935, 255}, nullptr);

  Frame2 = MakeFrame(this, "Frame2", QStringLiteral("乗車券情報"), {120, 600, 9255, 1215});
  ChargeLeft = MakeLabel(Frame2, "ChargeLeft", app::Utf8Text(app::kChargeLeftLabel), {120, 240, 2175, 255}, &fieldFont);
  PassDate = MakeLabel(Frame2, "PassDate", app::Utf8Text(app::kPassDateLabel), {3480, 240, 4335, 255}, &fieldFont);
  Debt = MakeLabel(Frame2, "Debt", app::Utf8Text(app::kDebtLabel), {120, 540, 2175, 255}, &fieldFont);
  PassLimit = MakeLabel(Frame2, "PassLimit", app::Utf8Text(app::kPassLimitLabel), {3480, 540, 4335, 255}, &fieldFont);
  PassArea = MakeLabel(Frame2, "PassArea", app::Utf8Text(app::kPassAreaLabel), {3480, 840, 5535, 255}, &fieldFont);

  Frame1 = MakeFrame(this, "Frame1", QStringLiteral("利用履歴"), {120, 1920, 9255, 5655});
  for (int i = 0; i < kHistoryCount; ++i) {
    const QByteArray name = QStringLiteral("History(%1)").arg(i).toLatin1();
    History[i] = MakeLabel(Frame1, name.constData(), app::Utf8Text(app::kHistoryInitialText),
                           {120, HistoryTop(i), 7815, 255}, &fieldFont);
  }

  Message = MakeLabel(this, "Message", QString(), {120, 7680, 8295, 375}, &fieldFont);
  Message->setFrameStyle(QFrame::Box | QFrame::Plain);
  Message->setLineWidth(1);
  QPalette light = Message->palette();
  light.setColor(QPalette::Window, colours.color(QPalette::Light));
  Message->setPalette(light);

  Command = new app::ReadButton(QStringLiteral("READ"), this);
  Command->setObjectName(QStringLiteral("Command"));
  Command->setGeometry(app::TwipsRect(8520, 7680, 855, 375));
  Command->setAutoDefault(false);
  Command->setDefault(false);
  Command->setFocusPolicy(Qt::StrongFocus);
  Command->setFocus();
  connect(Command, &QPushButton::clicked, this, [this] { Command_Click(); });
}

QString Form1::QAVO_GetStationName(const QString& strLineCode, const QString& strStationCode) const {
  return QString::fromStdString(vocab::QAVO_GetStationName(strLineCode.toStdString(), strStationCode.toStdString()));
}

QString Form1::QAVO_GetLineName(std::uint8_t bytLineCode) const {
  return QString::fromStdString(vocab::QAVO_GetLineName(bytLineCode));
}

QString Form1::QAVO_GetKindName(const QString& strKindCode) const {
  return QString::fromStdString(vocab::QAVO_GetKindName(strKindCode.toStdString()));
}
