#pragma once
// The error types get_last_error_types reports.

#include <cstdint>

#include "felica_for_vb.h"

namespace reader {

struct Failure {
  std::int32_t rwError = FELICA_RW_OK;
  std::uint8_t statusFlag1 = 0;
  std::uint8_t statusFlag2 = 0;

  std::int32_t FelicaErrorType() const { return statusFlag1 << 8 | statusFlag2; }
};

}  // namespace reader
