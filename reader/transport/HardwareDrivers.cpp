// The hardware drivers of this build, in the order auto mode tries them.

#include "ReaderChoice.h"

namespace reader {

std::span<const Driver> HardwareDrivers() {
  return {};
}

}  // namespace reader
