#pragma once
// The two label fonts, with substitutes for the faces Linux lacks.

#include <QFont>
#include <QStringList>

namespace app {

// A full-width character exactly twice the advance of a half-width one,
// so that padded names line up in columns.
bool HasDoubleWidthMetrics(const QFont& font);

// The monospaced field font (9 pt): the first candidate that resolves to a
// face with double-width metrics.
QFont FieldFont();
QStringList FieldFontCandidates();

// The title font: proportional Gothic, 18 pt, bold, underlined.
QFont TitleFont();

// The width `text` takes in `font` under whatever hinting a desktop sets: full hinting rounds every advance to whole
// pixels, which makes a line wider.
int WidthUnderAnyHinting(const QFont& font, const QString& text);

}  // namespace app
