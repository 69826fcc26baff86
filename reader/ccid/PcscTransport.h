#pragma once
// PC/SC readers through pcscd: the RC-S300 and other contactless CCID
// readers, the ACR122U and ACR1252U; FeliCa in whichever of the dialects
// each reader speaks.

#include <string_view>

#include "Transport.h"

namespace ccid {

// The driver table's entry. `name` empty: the first reader with a FeliCa
// card; else the readers whose names begin with it. Fails (so that auto
// mode tries the next driver) when there is no reader, or when every reader
// holds a card and none of them speaks FeliCa.
reader::OpenResult Open(std::string_view name);

}  // namespace ccid
