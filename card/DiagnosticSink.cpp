#include "DiagnosticSink.h"

#include <cstdio>
#include <utility>

namespace card {
namespace {
DiagnosticSink& CurrentSink() {
  static DiagnosticSink sink;
  return sink;
}
}  // namespace

DiagnosticSink SetDiagnosticSink(DiagnosticSink sink) { return std::exchange(CurrentSink(), std::move(sink)); }

void EmitDiagnosticLine(const std::string& line) {
  if (const auto& sink = CurrentSink()) {
    sink(line);
    return;
  }
  // One write per line so lines from different sources never interleave.
  std::string out = line;
  out += '\n';
  std::fwrite(out.data(), 1, out.size(), stderr);
  std::fflush(stderr);
}

}  // namespace card
