#pragma once
// PC/SC readers (the RC-S300 through pcscd and libccid, and other
// contactless CCID readers): FeliCa frames in the transparent session.

#include <string_view>

#include "ReaderChoice.h"

namespace pcsc {

// `name` empty: the first reader with a card; else the reader of that name
// (or whose name begins with it).
reader::OpenResult Open(std::string_view name);

}  // namespace pcsc
