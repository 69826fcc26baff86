#pragma once
// Where diagnostic lines go: standard error, one line each, unless a test
// has installed its own sink.

#include <functional>
#include <string>

namespace card {

using DiagnosticSink = std::function<void(const std::string& line)>;

// Replaces the sink; an empty function restores standard error.
// Returns the previous sink.
DiagnosticSink SetDiagnosticSink(DiagnosticSink sink);

void EmitDiagnosticLine(const std::string& line);

}  // namespace card
