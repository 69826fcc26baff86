#pragma once
// Records the diagnostic lines of card access in the stand-in's call log, in
// order with the library calls, each with what `snapshot` (a field's text,
// say) gave at that moment.

#include <functional>
#include <string>

#include "DiagnosticSink.h"
#include "standin/ScriptedLibrary.h"

namespace testsupport {

struct DiagnosticCapture {
  explicit DiagnosticCapture(std::function<std::string()> snapshot) {
    card::SetDiagnosticSink([snapshot](const std::string& line) {
      standin::Record({"diagnostic", line + " | " + snapshot()});
    });
  }
  ~DiagnosticCapture() { card::SetDiagnosticSink({}); }
};

inline std::vector<std::string> DiagnosticLines() {
  std::vector<std::string> lines;
  for (const auto& call : standin::Calls()) {
    if (call.function == "diagnostic") lines.push_back(call.given);
  }
  return lines;
}

}  // namespace testsupport
