#include "FeliCa.h"

#include <string>

#include "DiagnosticSink.h"

namespace FeliCa {

void ReportReaderFailure() {
  std::int32_t felicaErrorType = 0;
  std::int32_t rwErrorType = 0;
  get_last_error_types(&felicaErrorType, &rwErrorType);
  WriteDiagnostic("felica error type: ", felicaErrorType);
  WriteDiagnostic("rw error type: ", rwErrorType);
  close_reader_writer();
  dispose_library();
}

void WriteDiagnostic(std::string_view message, std::string_view value) {
  std::string line(message);
  line += value;
  card::EmitDiagnosticLine(line);
}

void WriteDiagnostic(std::string_view message, std::int32_t value) { WriteDiagnostic(message, std::to_string(value)); }

}  // namespace FeliCa
