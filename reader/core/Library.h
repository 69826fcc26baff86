#pragma once
// The library's state between the C calls: initialised or not, the open
// reader, the polled card and the last failure.

#include <cstdint>
#include <memory>
#include <mutex>

#include "Failure.h"
#include "ReaderSession.h"
#include "felica_for_vb.h"

namespace reader {

class Library {
 public:
  static Library& Instance();

  bool Initialize();
  bool Open();
  bool Poll(PollingRecord* polling, std::uint8_t* numberOfCards, CardInformationRecord* cardInformation);
  bool Read(ReadBlockRequest* request, ReadBlockResponse* response);
  void LastErrors(std::int32_t* felicaErrorType, std::int32_t* rwErrorType);
  bool Close();
  bool Dispose();

  // Card commands sent since the process started (for measurements).
  long TotalCommandsSent();

 private:
  bool Fail(std::int32_t rwError, std::uint8_t sf1 = 0, std::uint8_t sf2 = 0);
  void EndSession();  // closes the reader, if one is open

  std::mutex mutex_;
  bool initialized_ = false;
  std::unique_ptr<ReaderSession> session_;
  Failure last_;
  long commandsOfEndedSessions_ = 0;
};

}  // namespace reader
