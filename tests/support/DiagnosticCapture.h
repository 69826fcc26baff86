#pragma once
// Captures the diagnostic lines of card access into the stand-in's call
// log, so tests see them in order with the library calls.

#include <functional>
#include <string>

#include "DiagnosticSink.h"
#include "standin/ScriptedLibrary.h"

namespace testsupport {

class DiagnosticCapture {
 public:
  // `snapshot` (optional) is recorded with each line, e.g. a field's text at that moment.
  explicit DiagnosticCapture(std::function<std::string()> snapshot = {}) {
    previous_ = card::SetDiagnosticSink([snapshot](const std::string& line) {
      standin::Call call{"diagnostic"};
      call.text = line;
      if (snapshot) call.text += " | " + snapshot();
      standin::Record(std::move(call));
    });
  }
  ~DiagnosticCapture() { card::SetDiagnosticSink(std::move(previous_)); }
  DiagnosticCapture(const DiagnosticCapture&) = delete;
  DiagnosticCapture& operator=(const DiagnosticCapture&) = delete;

 private:
  card::DiagnosticSink previous_;
};

// The diagnostic lines recorded so far, in order.
inline std::vector<std::string> DiagnosticLines() {
  std::vector<std::string> lines;
  for (const auto& call : standin::Calls()) {
    if (call.function == "diagnostic") lines.push_back(call.text);
  }
  return lines;
}

}  // namespace testsupport
