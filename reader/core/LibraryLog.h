#pragma once
// The library's own diagnostic lines: standard error, one line each.
// They name reader problems and error types, never card data or the IDm.

#include <string_view>

namespace reader {

void LogLine(std::string_view line);

}  // namespace reader
