#pragma once
// Every USB reader the library opens itself or prepares for libnfc, by
// family. The build makes the udev rule, the package's udev trigger and the
// AppStream modaliases from these lines, so one entry a line, as below.

#include "UsbDevices.h"

namespace usb {

// clang-format off
// The RC-S380 (port100 over USB).
inline constexpr DeviceId kRcS380Ids[] = {
    {0x054C, 0x06C1},  // RC-S380/S
    {0x054C, 0x06C3},  // RC-S380/P
};
// libnfc's pn53x_usb driver.
inline constexpr DeviceId kPn53xUsbIds[] = {
    {0x04CC, 0x0531},  // Philips PN531
    {0x04CC, 0x2533},  // NXP PN533
    {0x04E6, 0x5591},  // SCM SCL3711
    {0x04E6, 0x5594},  // SCM SCL3712
    {0x054C, 0x0193},  // Sony PN531
    {0x1FD3, 0x0608},  // ASK LoGO
    {0x054C, 0x02E1},  // RC-S330/360/370
};
// libnfc's acr122_usb driver (when pcscd does not hold the reader).
inline constexpr DeviceId kAcr122UsbIds[] = {
    {0x072F, 0x2200},  // ACR122U
    {0x072F, 0x90CC},  // Touchatag
    {0x072F, 0x2214},  // ACR1222
};
// clang-format on

}  // namespace usb
