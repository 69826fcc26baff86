// The seven exported C functions. No exception crosses into the caller.

#include "Diagnostic.h"
#include "Library.h"
#include "felica_for_vb.h"

namespace {

template <typename Call>
std::uint8_t Guarded(Call&& call) {
  try {
    return call() ? 1 : 0;
  } catch (const std::exception& e) {
    reader::Diagnostic(std::string("internal error: ") + e.what());
  } catch (...) {
    reader::Diagnostic("internal error");
  }
  return 0;
}

}  // namespace

extern "C" {

uint8_t initialize_library(void) {
  return Guarded([] { return reader::Library::Instance().Initialize(); });
}

uint8_t open_reader_writer_auto(void) {
  return Guarded([] { return reader::Library::Instance().Open(); });
}

uint8_t polling_and_get_card_information(PollingRecord* polling, uint8_t* number_of_cards,
                                         CardInformationRecord* card_information) {
  return Guarded([&] { return reader::Library::Instance().Poll(polling, number_of_cards, card_information); });
}

uint8_t read_block_without_encryption(ReadBlockRequest* request, ReadBlockResponse* response) {
  return Guarded([&] { return reader::Library::Instance().Read(request, response); });
}

uint8_t get_last_error_types(int32_t* felica_error_type, int32_t* rw_error_type) {
  return Guarded([&] {
    reader::Library::Instance().LastErrors(felica_error_type, rw_error_type);
    return true;
  });
}

uint8_t close_reader_writer(void) {
  return Guarded([] { return reader::Library::Instance().Close(); });
}

uint8_t dispose_library(void) {
  return Guarded([] { return reader::Library::Instance().Dispose(); });
}

}  // extern "C"
