#include "LibraryLog.h"

#include <cstdio>
#include <string>

namespace reader {

void LogLine(std::string_view line) {
  std::string out = "felica_for_vb: ";
  out += line;
  // Keep it to one line whatever the detail holds.
  for (char& c : out) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  out += '\n';
  std::fwrite(out.data(), 1, out.size(), stderr);
  std::fflush(stderr);
}

}  // namespace reader
