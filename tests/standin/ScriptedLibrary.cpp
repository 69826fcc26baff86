#include "ScriptedLibrary.h"

#include <algorithm>
#include <cstring>

#include "felica_for_vb.h"

namespace standin {
namespace {

Script& TheScript() {
  static Script script;
  return script;
}

std::vector<Call>& TheCalls() {
  static std::vector<Call> calls;
  return calls;
}

std::uint8_t Result(const char* function) {
  TheCalls().push_back(Call{function});
  return TheScript().failingCalls.count(function) ? 0 : 1;
}

}  // namespace

void Reset(Script script) {
  TheScript() = std::move(script);
  TheCalls().clear();
}

Script& Current() { return TheScript(); }
const std::vector<Call>& Calls() { return TheCalls(); }
void Record(Call call) { TheCalls().push_back(std::move(call)); }

std::vector<std::string> CallNames() {
  std::vector<std::string> names;
  for (const auto& call : TheCalls()) names.push_back(call.function);
  return names;
}

}  // namespace standin

using standin::TheCalls;
using standin::TheScript;

extern "C" {

uint8_t initialize_library(void) { return standin::Result("initialize_library"); }
uint8_t open_reader_writer_auto(void) { return standin::Result("open_reader_writer_auto"); }
uint8_t close_reader_writer(void) { return standin::Result("close_reader_writer"); }
uint8_t dispose_library(void) { return standin::Result("dispose_library"); }

uint8_t polling_and_get_card_information(PollingRecord* polling, uint8_t* number_of_cards,
                                         CardInformationRecord* card_information) {
  standin::Call call{"polling_and_get_card_information"};
  call.systemCode = {polling->system_code[0], polling->system_code[1]};
  call.timeSlot = polling->time_slot;
  call.numberOfCardsBefore = *number_of_cards;
  TheCalls().push_back(call);
  if (TheScript().failingCalls.count(call.function)) return 0;
  std::copy(TheScript().idm.begin(), TheScript().idm.end(), card_information->idm);
  std::memset(card_information->pmm, 0x55, 8);
  *number_of_cards = 1;
  return 1;
}

uint8_t read_block_without_encryption(ReadBlockRequest* request, ReadBlockResponse* response) {
  standin::Call call{"read_block_without_encryption"};
  call.idm.assign(request->card_idm, request->card_idm + 8);
  call.numberOfServices = request->number_of_services;
  call.serviceCode = static_cast<std::uint16_t>(request->service_code_list[0] | request->service_code_list[1] << 8);
  call.numberOfBlocks = request->number_of_blocks;
  call.blockList.assign(request->block_list, request->block_list + 40);
  call.responseAreasBefore = {*response->status_flag1, *response->status_flag2, *response->result_number_of_blocks};
  call.blockDataZeroBefore =
      std::all_of(response->block_data, response->block_data + 321, [](std::uint8_t b) { return b == 0; });
  TheCalls().push_back(call);

  auto& script = TheScript();
  if (script.failingCalls.count(call.function) || script.failingService == call.serviceCode) return 0;
  const auto& blocks = script.services[call.serviceCode];
  for (int k = 0; k < request->number_of_blocks && k < static_cast<int>(blocks.size()); ++k) {
    std::copy(blocks[k].begin(), blocks[k].end(), response->block_data + 16 * k);
  }
  *response->status_flag1 = script.statusFlag1;
  *response->status_flag2 = script.statusFlag2;
  *response->result_number_of_blocks = request->number_of_blocks;
  return 1;
}

uint8_t get_last_error_types(int32_t* felica_error_type, int32_t* rw_error_type) {
  TheCalls().push_back(standin::Call{"get_last_error_types"});
  *felica_error_type = TheScript().felicaErrorType;
  *rw_error_type = TheScript().rwErrorType;
  return 1;
}

}  // extern "C"
