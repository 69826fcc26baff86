#pragma once
// Window geometry is kept in twips; Qt lays out in logical pixels, 15 twips
// each, and its own high-DPI scaling maps those to device pixels.

#include <QRect>
#include <cmath>

namespace app {

inline constexpr double kTwipsPerPixel = 15.0;

inline int TwipsToPixels(int twips) { return static_cast<int>(std::lround(twips / kTwipsPerPixel)); }

inline QRect TwipsRect(int left, int top, int width, int height) {
  return QRect(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height));
}

}  // namespace app
