#pragma once
// PN53x readers (RC-S330/360/370, ACR122U, SCL3711, PN532 boards) through
// libnfc: polling by InListPassiveTarget at 212 kbps, frames by transceive.

#include <string_view>

#include "ReaderChoice.h"

namespace libnfc {

// `connstring` empty: libnfc's default device; else e.g. "pn532_uart:/dev/ttyUSB0".
reader::OpenResult Open(std::string_view connstring);

}  // namespace libnfc
