#include "Failure.h"

namespace reader {

const char* DescribeRwError(std::int32_t rwError) {
  switch (rwError) {
    case FELICA_RW_OK: return "no error";
    case FELICA_RW_NOT_INITIALIZED: return "library not initialised";
    case FELICA_RW_NOT_OPEN: return "reader not open";
    case FELICA_RW_NO_READER: return "no reader";
    case FELICA_RW_READER_ACCESS: return "reader cannot be opened";
    case FELICA_RW_NO_CARD: return "no card";
    case FELICA_RW_TIMEOUT: return "card timed out";
    case FELICA_RW_TRANSMISSION: return "transmission error";
    case FELICA_RW_CARD_LOST: return "card lost";
    case FELICA_RW_CARD_SWAPPED: return "another card answered";
    case FELICA_RW_BAD_RESPONSE: return "malformed answer";
    case FELICA_RW_CARD_ERROR: return "card reported an error";
    case FELICA_RW_INVALID_ARGUMENT: return "invalid argument";
    case FELICA_RW_BAD_CONFIGURATION: return "bad configuration";
    default: return "unknown error";
  }
}

}  // namespace reader
