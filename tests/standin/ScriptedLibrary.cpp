#include "ScriptedLibrary.h"

#include <algorithm>

#include "felica_for_vb.h"
#include "support/Hex.h"

namespace standin {
namespace {

Script script;
std::vector<Call> calls;

std::uint8_t Result(const char* function, std::string given = {}) {
  calls.push_back({function, std::move(given)});
  return script.failingCalls.count(function) ? 0 : 1;
}

std::string Hex(const std::uint8_t* bytes, std::size_t size) { return testsupport::HexOf({bytes, size}); }

}  // namespace

void Reset(Script next) {
  script = std::move(next);
  calls.clear();
}

const std::vector<Call>& Calls() { return calls; }
void Record(Call call) { calls.push_back(std::move(call)); }

std::vector<std::string> CallNames() {
  std::vector<std::string> names;
  for (const auto& call : calls) names.push_back(call.function);
  return names;
}

}  // namespace standin

using standin::Hex;
using standin::Result;
using standin::script;

extern "C" {

uint8_t initialize_library(void) { return Result("initialize_library"); }
uint8_t open_reader_writer_auto(void) { return Result("open_reader_writer_auto"); }
uint8_t close_reader_writer(void) { return Result("close_reader_writer"); }
uint8_t dispose_library(void) { return Result("dispose_library"); }

uint8_t polling_and_get_card_information(PollingRecord* polling, uint8_t* number_of_cards,
                                         CardInformationRecord* card_information) {
  const std::uint8_t given[] = {polling->system_code[0], polling->system_code[1], polling->time_slot, *number_of_cards};
  if (!Result("polling_and_get_card_information", Hex(given, 4))) return 0;
  std::copy(script.idm.begin(), script.idm.end(), card_information->idm);
  *number_of_cards = 1;
  return 1;
}

uint8_t read_block_without_encryption(ReadBlockRequest* request, ReadBlockResponse* response) {
  const std::uint8_t before[] = {*response->status_flag1, *response->status_flag2, *response->result_number_of_blocks};
  const bool zeros =
      std::all_of(response->block_data, response->block_data + 321, [](std::uint8_t b) { return b == 0; });
  const std::uint8_t counts[] = {request->number_of_services, request->number_of_blocks};
  const std::string given = Hex(request->card_idm, 8) + " " + Hex(counts, 1) + " " +
                            Hex(request->service_code_list, 2) + " " + Hex(counts + 1, 1) + " " +
                            Hex(request->block_list, 40) + " " + Hex(before, 3) + (zeros ? " zeros" : " data");
  const auto service = static_cast<std::uint16_t>(request->service_code_list[0] | request->service_code_list[1] << 8);
  if (!Result("read_block_without_encryption", given) || script.failingService == service) return 0;
  const auto& blocks = script.services[service];
  for (int k = 0; k < request->number_of_blocks && k < static_cast<int>(blocks.size()); ++k) {
    std::copy(blocks[k].begin(), blocks[k].end(), response->block_data + 16 * k);
  }
  *response->status_flag1 = script.statusFlag1;
  *response->status_flag2 = script.statusFlag2;
  *response->result_number_of_blocks = request->number_of_blocks;
  return 1;
}

uint8_t get_last_error_types(int32_t* felica_error_type, int32_t* rw_error_type) {
  *felica_error_type = script.felicaErrorType;
  *rw_error_type = script.rwErrorType;
  return Result("get_last_error_types");
}

}  // extern "C"
