#pragma once
// PN53x readers (RC-S330/360/370, SCL3711, ACR122U without pcscd, PN532
// boards) through libnfc: polling by InListPassiveTarget, frames by
// InDataExchange, over libnfc's USB and serial drivers.

#include <string_view>

#include "Transport.h"
#include "UsbDevices.h"

namespace pn53x {

// The driver table's entry. `connstring` empty: the first reader libnfc
// finds; else e.g. "pn532_uart:/dev/ttyUSB0" or "pn53x_usb:001:004".
reader::OpenResult Open(std::string_view connstring, usb::Listing& usb);

}  // namespace pn53x
