// The hardware drivers of this build, in the order auto mode tries them.

#include <algorithm>
#include <string_view>
#include <vector>

#include "LibnfcTransport.h"
#include "PcscTransport.h"
#include "Port100Transport.h"
#include "ReaderChoice.h"

namespace reader {
namespace {

std::vector<Driver>& Table() {
  static std::vector<Driver> drivers = {
      {"port100", port100::OpenFirstDevice},
      {"pcsc", pcsc::Open},
      {"libnfc", libnfc::Open},
  };
  return drivers;
}

}  // namespace

std::span<const Driver> HardwareDrivers() { return Table(); }

void ReplaceDriverForTesting(const Driver& replacement) {
  auto& drivers = Table();
  const auto it = std::find_if(drivers.begin(), drivers.end(),
                               [&](const Driver& d) { return std::string_view(d.name) == replacement.name; });
  if (it != drivers.end()) {
    *it = replacement;
  } else {
    drivers.push_back(replacement);
  }
}

}  // namespace reader
