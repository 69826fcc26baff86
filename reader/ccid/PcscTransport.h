#pragma once
// PC/SC readers through pcscd: the RC-S300 and other contactless CCID
// readers, the ACR122U and ACR1252U; FeliCa in whichever of the dialects
// each reader speaks.

#include <string_view>

#include "Transport.h"

namespace ccid {

// The driver table's entry. `name` empty: the first reader with a FeliCa
// card; else the readers whose names begin with it. Fails when there is no
// reader; a reader without a card it can read opens, but lets auto mode
// prefer another (HasReadableCard).
reader::OpenResult Open(std::string_view name);

}  // namespace ccid
