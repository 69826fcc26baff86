#include "CRecords.h"

#include <algorithm>

namespace api {
namespace {

using reader::ErrorKind;
using reader::Fail;

reader::Unexpected InvalidArgument(const char* why) { return Fail(ErrorKind::InvalidArgument, why); }

}  // namespace

reader::Expected<reader::PollingRequest> ToPollingRequest(const PollingRecord* polling,
                                                          const CardInformationRecord* cardInformation) {
  if (!polling || !polling->system_code || !cardInformation || !cardInformation->idm) {
    return InvalidArgument("polling record or IDm area missing");
  }
  reader::PollingRequest request;
  request.systemCode[0] = polling->system_code[0];
  request.systemCode[1] = polling->system_code[1];
  request.timeSlot = polling->time_slot;
  return request;
}

void WriteCardInformation(const reader::PollingAnswer& answer, CardInformationRecord& cardInformation) {
  std::copy(answer.idm.begin(), answer.idm.end(), cardInformation.idm);
  if (cardInformation.pmm) std::copy(answer.pmm.begin(), answer.pmm.end(), cardInformation.pmm);
}

reader::Expected<reader::ReadRequest> ToReadRequest(const ReadBlockRequest* request,
                                                    const ReadBlockResponse* response) {
  if (!request || !response || !request->card_idm || !request->service_code_list || !request->block_list ||
      !response->block_data) {
    return InvalidArgument("read record or one of its areas missing");
  }
  const int services = request->number_of_services;
  if (services < 1 || services > 16) return InvalidArgument("number of services outside 1 to 16");
  if (request->number_of_blocks < 1) return InvalidArgument("no blocks asked for");

  reader::ReadRequest typed;
  std::copy_n(request->card_idm, typed.idm.size(), typed.idm.begin());
  for (int s = 0; s < services; ++s) {
    typed.serviceCodes.push_back(
        static_cast<std::uint16_t>(request->service_code_list[2 * s] | request->service_code_list[2 * s + 1] << 8));
  }
  // Elements are two bytes when the top bit of the first is set, three
  // otherwise: each one's size is known only once its first byte is read.
  const std::uint8_t* p = request->block_list;
  for (int k = 0; k < request->number_of_blocks; ++k) {
    reader::BlockListElement element;
    element.size = (p[0] & 0x80) ? 2 : 3;
    std::copy_n(p, element.size, element.bytes);
    p += element.size;
    if (element.serviceIndex() >= services) return InvalidArgument("block list names a service beyond the list");
    typed.blocks.push_back(element);
  }
  return typed;
}

void WriteReadResponse(const reader::Expected<reader::BlocksRead>& result, const ReadBlockRequest& request,
                       const ReadBlockResponse& response) {
  const std::uint8_t flag1 = result ? result->statusFlag1 : result.error().statusFlag1;
  const std::uint8_t flag2 = result ? result->statusFlag2 : result.error().statusFlag2;
  if (response.status_flag1) *response.status_flag1 = flag1;
  if (response.status_flag2) *response.status_flag2 = flag2;
  if (response.result_number_of_blocks) *response.result_number_of_blocks = result ? request.number_of_blocks : 0;
  // Nothing past the blocks read is touched.
  if (result) std::copy(result->blockData.begin(), result->blockData.end(), response.block_data);
}

std::int32_t RwErrorType(const std::optional<reader::Error>& error) {
  if (!error) return FELICA_RW_OK;
  switch (error->kind) {
    case ErrorKind::NotInitialized: return FELICA_RW_NOT_INITIALIZED;
    case ErrorKind::NotOpen: return FELICA_RW_NOT_OPEN;
    case ErrorKind::NoReader: return FELICA_RW_NO_READER;
    case ErrorKind::ReaderAccess: return FELICA_RW_READER_ACCESS;
    case ErrorKind::NoCard: return FELICA_RW_NO_CARD;
    case ErrorKind::Timeout: return FELICA_RW_TIMEOUT;
    case ErrorKind::Transmission: return FELICA_RW_TRANSMISSION;
    case ErrorKind::CardLost: return FELICA_RW_CARD_LOST;
    case ErrorKind::CardSwapped: return FELICA_RW_CARD_SWAPPED;
    case ErrorKind::BadResponse: return FELICA_RW_BAD_RESPONSE;
    case ErrorKind::CardError: return FELICA_RW_CARD_ERROR;
    case ErrorKind::InvalidArgument: return FELICA_RW_INVALID_ARGUMENT;
    case ErrorKind::BadConfiguration: return FELICA_RW_BAD_CONFIGURATION;
  }
  return FELICA_RW_TRANSMISSION;
}

std::int32_t FelicaErrorType(const std::optional<reader::Error>& error) {
  return error ? error->statusFlag1 << 8 | error->statusFlag2 : 0;
}

}  // namespace api
