// Checks a screenshot of the window after a READ on the demo card: the
// client size, the Message band's colour, and that the history columns
// line up (each "/" separator stands at the same x in every line).
//   screenshot_check SHOT.png SCALE
#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QPalette>
#include <cmath>
#include <cstdio>

#include "FieldFonts.h"

namespace {

int failures = 0;

void Check(bool ok, const char* what) {
  std::printf("%s: %s\n", ok ? "ok" : "FAIL", what);
  if (!ok) ++failures;
}

int Px(int twips, double scale) { return static_cast<int>(std::lround(std::lround(twips / 15.0) * scale)); }

bool HasInk(const QImage& image) {
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (qGray(image.pixel(x, y)) < 128) return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: screenshot_check SHOT.png SCALE\n");
    return 2;
  }
  const QImage shot = QImage(QString::fromLocal8Bit(argv[1])).convertToFormat(QImage::Format_RGB32);
  const double scale = std::atof(argv[2]);
  Check(!shot.isNull(), "screenshot loads");
  if (shot.isNull()) return 1;

  Check(shot.size() == QSize(Px(9495, scale), Px(8130, scale)), "client area is 9495 x 8130 twips");

  // Inside the Message band, clear of its border and of any text.
  const QColor light = QApplication::palette().color(QPalette::Light);
  const QPoint band(Px(120 + 8000, scale), Px(7680 + 187, scale));
  Check(QColor(shot.pixel(band)) == light, "Message band shows the 3-D light colour");
  const QColor face = QApplication::palette().color(QPalette::Button);
  Check(QColor(shot.pixel(Px(60, scale), Px(60, scale))) == face, "window background is the 3-D face colour");

  // The field font's half-width column, in screenshot pixels.
  const double column = QFontMetrics(app::FieldFont()).horizontalAdvance(QLatin1Char('0')) * scale;
  const int lineLeft = Px(120, scale) + Px(120, scale);  // Frame1, then History(i)
  const int height = Px(255, scale);
  for (int separator : {15, 37, 59, 73}) {  // "/" after the kind, station, time and amount used
    const int x = lineLeft + static_cast<int>(std::lround(separator * column));
    const int width = static_cast<int>(std::lround(column));
    QImage first;
    bool same = true;
    bool ink = true;
    for (int i = 0; i < 20; ++i) {
      const int top = Px(1920, scale) + Px(i < 19 ? 240 + 265 * i : 5280, scale);
      const QImage cell = shot.copy(x, top, width, height);
      ink = ink && HasInk(cell);
      if (i == 0) first = cell;
      same = same && cell == first;
    }
    char what[96];
    std::snprintf(what, sizeof what, "column %d holds the same \"/\" in all 20 history lines", separator);
    Check(ink && same, what);
  }
  return failures == 0 ? 0 : 1;
}
