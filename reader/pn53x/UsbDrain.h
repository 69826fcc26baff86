#pragma once
// The USB side of libnfc's readers, which libnfc itself does not look after.

#include <string>

#include "UsbDevices.h"

namespace pn53x {

// Reads out whatever a USB reader that `connstring` names (pn53x_usb or
// acr122_usb, with or without bus and device) still holds for the host: an
// answer left in its pipe by a session that gave up, or was killed, would
// otherwise answer libnfc's first command and make its set-up fail. Readers
// held by the kernel or another program are left alone. False when
// `connstring` names no USB reader.
bool DrainUsbDevice(const std::string& connstring, usb::Listing& usb);

// Why a USB reader that libnfc drives cannot be used (permission, the
// kernel's pn533_usb driver, another program), or "" when nothing says.
std::string UsbAccessProblem(usb::Listing& usb);

}  // namespace pn53x
