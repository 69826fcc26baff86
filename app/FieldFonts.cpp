#include "FieldFonts.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <algorithm>

namespace app {

bool HasDoubleWidthMetrics(const QFont& font) {
  const QFontMetrics metrics(font);
  const int half = metrics.horizontalAdvance(QLatin1Char('0'));
  if (half <= 0) return false;
  for (QChar c : {QLatin1Char('-'), QLatin1Char('/'), QLatin1Char(' ')}) {
    if (metrics.horizontalAdvance(c) != half) return false;
  }
  for (const QString& wide :
       {QStringLiteral("\u3000"), QStringLiteral("線"), QStringLiteral("："), QStringLiteral("ー")}) {
    if (metrics.horizontalAdvance(wide) != 2 * half) return false;
  }
  return true;
}

QStringList FieldFontCandidates() {
  return {QStringLiteral("ＭＳ ゴシック"),        QStringLiteral("MS Gothic"),   QStringLiteral("IPAGothic"),
          QStringLiteral("IPAexGothic"),          QStringLiteral("TakaoGothic"), QStringLiteral("VL Gothic"),
          QStringLiteral("Noto Sans Mono CJK JP")};
}

QFont FieldFont() {
  for (const QString& family : FieldFontCandidates()) {
    QFont font(family, 9, QFont::Normal);
    font.setStyleHint(QFont::TypeWriter);
    // Only faces that exist; fontconfig would otherwise hand back any face.
    if (!QFontDatabase::hasFamily(family)) continue;
    if (HasDoubleWidthMetrics(font)) return font;
  }
  QFont fallback = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  fallback.setPointSize(9);
  return fallback;
}

QFont TitleFont() {
  QFont font;
  for (const QString& family :
       {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"),
        QStringLiteral("IPAexGothic"), QStringLiteral("Noto Sans CJK JP")}) {
    if (QFontDatabase::hasFamily(family)) {
      font.setFamily(family);
      break;
    }
  }
  font.setPointSize(18);
  font.setWeight(QFont::Bold);
  font.setUnderline(true);
  return font;
}

int WidthUnderAnyHinting(const QFont& font, const QString& text) {
  QFont fullHinting = font;
  fullHinting.setHintingPreference(QFont::PreferFullHinting);
  return std::max(QFontMetrics(font).horizontalAdvance(text), QFontMetrics(fullHinting).horizontalAdvance(text));
}

}  // namespace app
