#pragma once
// PN53x host frames, as the chips' user manuals give them:
//   00 00 FF LEN LCS TFI DATA DCS 00        normal (LEN + LCS = 0, TFI D4 to the chip, D5 back)
//   00 00 FF FF FF LENM LENL LCS TFI ...    extended (length big-endian)
//   00 00 FF 00 FF 00                       ACK (from the host: abort)
//   00 00 FF FF 00 00                       NACK (send the last answer again)
//   00 00 FF 01 FF 7F 81 00                 syntax error (from the chip)

#include "emulators/FelicaCard.h"

namespace emulator {

inline const Bytes kPn53xAck{0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00};
inline const Bytes kPn53xSyntaxError{0x00, 0x00, 0xFF, 0x01, 0xFF, 0x7F, 0x81, 0x00};

// The frame around `data` (TFI first).
Bytes Pn53xFrame(const Bytes& data);

struct HostFrame {
  enum class Kind { Ack, Nack, Command, Broken } kind;
  Bytes command;  // after D4: the command code and its parameters
};

// Takes every whole frame off the front of `input`; bytes before a preamble
// (wake-up bytes, noise) are dropped and a partial frame stays.
std::vector<HostFrame> TakeHostFrames(Bytes& input);

}  // namespace emulator
