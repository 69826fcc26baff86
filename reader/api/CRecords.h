#pragma once
// The C interface's records and error numbers: the one place where the
// caller's records are checked and turned into the library's own values,
// and where the library's errors become the numbers the header lists.

#include <cstdint>
#include <optional>

#include "Library.h"
#include "felica_for_vb.h"

namespace api {

reader::Expected<reader::PollingRequest> ToPollingRequest(const PollingRecord* polling,
                                                          const CardInformationRecord* cardInformation);
void WriteCardInformation(const reader::PollingAnswer& answer, CardInformationRecord& cardInformation);

reader::Expected<reader::ReadRequest> ToReadRequest(const ReadBlockRequest* request, const ReadBlockResponse* response);
// The status flags and result count of a read (also of a failed one); the
// block data only after success, exactly 16 bytes a block.
void WriteReadResponse(const reader::Expected<reader::BlocksRead>& result, const ReadBlockRequest& request,
                       const ReadBlockResponse& response);

// get_last_error_types' two numbers for the last failure (nullopt: none).
std::int32_t RwErrorType(const std::optional<reader::Error>& error);
std::int32_t FelicaErrorType(const std::optional<reader::Error>& error);

}  // namespace api
