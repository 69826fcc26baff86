// Checks a screenshot of the window after a READ on the demo card: the client size, the colours of the window and the
// Message band, and that the history columns line up (each "/" separator stands at the same x in every line).
//   screenshot_check SHOT.png SCALE
#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QPalette>
#include <cmath>
#include <cstdio>
#include <string>

#include "FieldFonts.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  if (argc != 3) return std::fprintf(stderr, "usage: screenshot_check SHOT.png SCALE\n"), 2;
  const QImage shot = QImage(QString::fromLocal8Bit(argv[1])).convertToFormat(QImage::Format_RGB32);
  const double scale = std::atof(argv[2]);
  const auto px = [scale](int twips) { return static_cast<int>(std::lround(std::lround(twips / 15.0) * scale)); };
  int failures = 0;
  const auto check = [&failures](bool ok, const std::string& what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAIL", what.c_str());
    failures += ok ? 0 : 1;
  };
  check(!shot.isNull() && shot.size() == QSize(px(9495), px(8130)), "client area is 9495 x 8130 twips");
  if (shot.isNull()) return 1;
  // Inside the Message band, clear of its border and of any text; and the window's own corner.
  const QPalette palette = QApplication::palette();
  check(QColor(shot.pixel(px(8120), px(7867))) == palette.color(QPalette::Light),
        "Message band is the 3-D light colour");
  check(QColor(shot.pixel(px(60), px(60))) == palette.color(QPalette::Button), "window is the 3-D face colour");

  // The "/" after the kind, station, time and amount used, in half-width columns from Frame1's and History(i)'s left.
  const double column = QFontMetrics(app::FieldFont()).horizontalAdvance(QLatin1Char('0')) * scale;
  const auto hasInk = [](const QImage& cell) {
    for (int y = 0; y < cell.height(); ++y) {
      for (int x = 0; x < cell.width(); ++x) {
        if (qGray(cell.pixel(x, y)) < 128) return true;
      }
    }
    return false;
  };
  for (int separator : {15, 37, 59, 73}) {
    const int x = px(120) + px(120) + static_cast<int>(std::lround(separator * column));
    const QImage first = shot.copy(x, px(1920) + px(240), static_cast<int>(std::lround(column)), px(255));
    bool same = hasInk(first);
    for (int i = 1; i < 20; ++i)
      same = same && shot.copy(x, px(1920) + px(i < 19 ? 240 + 265 * i : 5280), first.width(), first.height()) == first;
    check(same, "column " + std::to_string(separator) + " holds the same \"/\" in all 20 history lines");
  }
  return failures == 0 ? 0 : 1;
}
