#pragma once
// The FeliCa module: the reader library's functions (declared in
// felica_for_vb.h), the failure report and the diagnostic line.

#include <cstdint>
#include <string_view>

#include "felica_for_vb.h"

namespace FeliCa {

// Asks the library for its last error types, writes them as two diagnostic
// lines, then closes the reader and disposes of the library. No result is
// checked: every step runs.
void ReportReaderFailure();

// One diagnostic line: the message followed directly by the value's text;
// an empty text value gives the message alone.
void WriteDiagnostic(std::string_view message, std::string_view value);
void WriteDiagnostic(std::string_view message, std::int32_t value);

}  // namespace FeliCa
