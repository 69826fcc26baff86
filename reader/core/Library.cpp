#include "Library.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "Diagnostic.h"
#include "ReaderChoice.h"

namespace reader {

Library& Library::Instance() {
  static Library library;
  return library;
}

bool Library::Fail(std::int32_t rwError, std::uint8_t sf1, std::uint8_t sf2) {
  last_ = Failure{rwError, sf1, sf2};
  return false;
}

void Library::EndSession() {
  if (session_) commandsOfEndedSessions_ += session_->CommandsSent();
  session_.reset();
}

bool Library::Initialize() {
  std::lock_guard lock(mutex_);
  EndSession();  // initialising again starts clean: no reader left open
  initialized_ = true;
  last_ = {};
  return true;
}

bool Library::Open() {
  std::lock_guard lock(mutex_);
  if (!initialized_) return Fail(FELICA_RW_NOT_INITIALIZED);
  EndSession();
  auto opened = OpenReader(std::getenv("FELICA_READER"));
  if (!opened.transport) {
    Diagnostic(opened.diagnostic);
    return Fail(opened.rwError);
  }
  session_ = std::make_unique<ReaderSession>(std::move(opened.transport));
  last_ = {};
  return true;
}

bool Library::Poll(PollingRecord* polling, std::uint8_t* numberOfCards, CardInformationRecord* cardInformation) {
  std::lock_guard lock(mutex_);
  if (!initialized_) return Fail(FELICA_RW_NOT_INITIALIZED);
  if (!session_) return Fail(FELICA_RW_NOT_OPEN);
  if (!polling || !polling->system_code || !cardInformation || !cardInformation->idm) {
    return Fail(FELICA_RW_INVALID_ARGUMENT);
  }
  if (numberOfCards) *numberOfCards = 0;
  felica::PollingAnswer answer;
  Failure failure;
  if (!session_->Poll(polling->system_code[0], polling->system_code[1], polling->time_slot, answer, failure)) {
    last_ = failure;
    return false;
  }
  std::copy(answer.idm.begin(), answer.idm.end(), cardInformation->idm);
  if (cardInformation->pmm) std::copy(answer.pmm.begin(), answer.pmm.end(), cardInformation->pmm);
  if (numberOfCards) *numberOfCards = 1;
  last_ = {};
  return true;
}

bool Library::Read(ReadBlockRequest* request, ReadBlockResponse* response) {
  std::lock_guard lock(mutex_);
  if (!initialized_) return Fail(FELICA_RW_NOT_INITIALIZED);
  if (!session_) return Fail(FELICA_RW_NOT_OPEN);
  if (!request || !response || !request->card_idm || !request->service_code_list || !request->block_list ||
      !response->block_data || request->number_of_services < 1 || request->number_of_services > 16 ||
      request->number_of_blocks < 1) {
    return Fail(FELICA_RW_INVALID_ARGUMENT);
  }
  const auto elements =
      felica::ParseBlockList(request->block_list, request->number_of_blocks, request->number_of_services);
  if (!elements) return Fail(FELICA_RW_INVALID_ARGUMENT);

  felica::Idm idm;
  std::copy_n(request->card_idm, idm.size(), idm.begin());
  const std::span<const std::uint8_t> serviceCodeList(request->service_code_list,
                                                      2u * request->number_of_services);
  ReaderSession::ReadResult result;
  Failure failure;
  const bool ok = session_->Read(idm, serviceCodeList, request->number_of_services, *elements, result, failure);
  if (response->status_flag1) *response->status_flag1 = ok ? result.statusFlag1 : failure.statusFlag1;
  if (response->status_flag2) *response->status_flag2 = ok ? result.statusFlag2 : failure.statusFlag2;
  if (response->result_number_of_blocks) {
    *response->result_number_of_blocks = ok ? request->number_of_blocks : 0;
  }
  if (!ok) {
    last_ = failure;
    return false;
  }
  // Exactly 16 x N bytes, block 0 first; nothing past them is touched.
  std::copy(result.blockData.begin(), result.blockData.end(), response->block_data);
  last_ = {};
  return true;
}

void Library::LastErrors(std::int32_t* felicaErrorType, std::int32_t* rwErrorType) {
  std::lock_guard lock(mutex_);
  if (felicaErrorType) *felicaErrorType = last_.FelicaErrorType();
  if (rwErrorType) *rwErrorType = last_.rwError;
}

bool Library::Close() {
  std::lock_guard lock(mutex_);
  if (!initialized_) return Fail(FELICA_RW_NOT_INITIALIZED);
  if (!session_) return Fail(FELICA_RW_NOT_OPEN);
  EndSession();
  return true;
}

bool Library::Dispose() {
  std::lock_guard lock(mutex_);
  if (!initialized_) return Fail(FELICA_RW_NOT_INITIALIZED);
  EndSession();
  initialized_ = false;
  return true;
}

long Library::TotalCommandsSent() {
  std::lock_guard lock(mutex_);
  return commandsOfEndedSessions_ + (session_ ? session_->CommandsSent() : 0);
}

}  // namespace reader
