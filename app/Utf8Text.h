#pragma once
// The field texts are built as UTF-8; labels take QString.

#include <QString>
#include <string_view>

namespace app {

inline QString Utf8Text(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

}  // namespace app
