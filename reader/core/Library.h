#pragma once
// The library's state between the C calls: initialised or not, the open
// reader, the polled card and the last failure.

#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string_view>

#include "DriverTable.h"
#include "Expected.h"
#include "ReaderSession.h"

namespace reader {

class Library {
 public:
  explicit Library(std::span<const Driver> drivers);

  Expected<void> Initialize();
  Expected<void> Open(std::string_view choice);  // FELICA_READER's value
  Expected<PollingAnswer> Poll(const PollingRequest& request);
  Expected<BlocksRead> Read(const ReadRequest& request);
  Expected<void> Close();
  Expected<void> Dispose();

  // The failure of the last call, or nothing when it succeeded.
  std::optional<Error> LastError();
  // Keeps a failure found outside the calls above (the caller's arguments).
  void Refuse(Error error);

  // Card commands sent since the library was made (for measurements).
  long CommandsSent();

 private:
  template <typename T>
  Expected<T> Remember(Expected<T> result);
  void EndSession();  // closes the reader, if one is open

  std::span<const Driver> drivers_;
  std::mutex mutex_;
  bool initialized_ = false;
  std::unique_ptr<ReaderSession> session_;
  std::optional<Error> last_;
  long commandsOfEndedSessions_ = 0;
};

}  // namespace reader
