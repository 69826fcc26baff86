#pragma once
// Why a PN533-based PaSoRi (054c:02e1) that is plugged in cannot be used,
// as a hint for the diagnostic line: no permission, or a kernel driver.

#include <string>

namespace reader {

// Empty when there is no such device or nothing to say.
std::string UsbAccessHint();

}  // namespace reader
