#pragma once
// What went wrong, in the library's own terms. The C interface turns the
// kind into its reader error type and the status flags into its FeliCa
// error type; the detail is for one diagnostic line and never holds card
// data or the IDm.

#include <cstdint>
#include <string>

namespace reader {

enum class ErrorKind {
  NotInitialized,    // call order: initialise first
  NotOpen,           // call order: open a reader first
  NoReader,          // no reader found, or the reader went away
  ReaderAccess,      // a reader is there but cannot be opened
  NoCard,            // nothing answered polling
  Timeout,           // the card stopped answering but is still there
  Transmission,      // the reader failed to send or receive
  CardLost,          // the card left the field
  CardSwapped,       // another card answered
  BadResponse,       // an answer that is not what the command asks for
  CardError,         // the card answered with error status flags
  InvalidArgument,   // a request the library cannot carry out
  BadConfiguration,  // FELICA_READER, or a card image, is unusable
};

struct Error {
  ErrorKind kind = ErrorKind::Transmission;
  std::string detail;
  std::uint8_t statusFlag1 = 0;  // with CardError: the card's status flags
  std::uint8_t statusFlag2 = 0;
};

}  // namespace reader
