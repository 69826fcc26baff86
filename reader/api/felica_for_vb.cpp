// The seven exported C functions. No exception crosses into the caller.

#include <cstdlib>

#include "CRecords.h"
#include "Library.h"
#include "LibraryLog.h"
#include "felica_for_vb.h"

namespace {

reader::Library& TheLibrary() {
  static reader::Library library(reader::DefaultDrivers());
  return library;
}

// A failure that escaped as an exception: said once, and kept as the
// call's error so that get_last_error_types does not report the call before.
void Failed(const std::string& detail) noexcept {
  try {
    reader::LogLine(detail);
    TheLibrary().Refuse({reader::ErrorKind::Transmission, detail});
  } catch (...) {
  }
}

template <typename Call>
std::uint8_t Guarded(Call&& call) {
  try {
    return call() ? 1 : 0;
  } catch (const std::exception& e) {
    Failed(std::string("internal error: ") + e.what());
  } catch (...) {
    Failed("internal error");
  }
  return 0;
}

}  // namespace

extern "C" {

uint8_t initialize_library(void) {
  return Guarded([] { return TheLibrary().Initialize().has_value(); });
}

uint8_t open_reader_writer_auto(void) {
  return Guarded([] {
    const char* choice = std::getenv("FELICA_READER");
    return TheLibrary().Open(choice ? choice : "").has_value();
  });
}

uint8_t polling_and_get_card_information(PollingRecord* polling, uint8_t* number_of_cards,
                                         CardInformationRecord* card_information) {
  return Guarded([&] {
    const auto request = api::ToPollingRequest(polling, card_information);
    if (!request) {
      TheLibrary().Refuse(request.error());
      return false;
    }
    if (number_of_cards) *number_of_cards = 0;
    const auto answer = TheLibrary().Poll(*request);
    if (!answer) return false;
    api::WriteCardInformation(*answer, *card_information);
    if (number_of_cards) *number_of_cards = 1;
    return true;
  });
}

uint8_t read_block_without_encryption(ReadBlockRequest* request, ReadBlockResponse* response) {
  return Guarded([&] {
    const auto typed = api::ToReadRequest(request, response);
    if (!typed) {
      TheLibrary().Refuse(typed.error());
      return false;
    }
    const auto result = TheLibrary().Read(*typed);
    api::WriteReadResponse(result, *request, *response);
    return result.has_value();
  });
}

uint8_t get_last_error_types(int32_t* felica_error_type, int32_t* rw_error_type) {
  return Guarded([&] {
    const auto error = TheLibrary().LastError();
    if (felica_error_type) *felica_error_type = api::FelicaErrorType(error);
    if (rw_error_type) *rw_error_type = api::RwErrorType(error);
    return true;
  });
}

uint8_t close_reader_writer(void) {
  return Guarded([] { return TheLibrary().Close().has_value(); });
}

uint8_t dispose_library(void) {
  return Guarded([] { return TheLibrary().Dispose().has_value(); });
}

}  // extern "C"
