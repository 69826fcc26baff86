#include "Library.h"

#include "LibraryLog.h"

namespace reader {

Library::Library(std::span<const Driver> drivers) : drivers_(drivers) {}

template <typename T>
Expected<T> Library::Remember(Expected<T> result) {
  if (result) {
    last_.reset();
  } else {
    last_ = result.error();
  }
  return result;
}

void Library::Refuse(Error error) {
  std::lock_guard lock(mutex_);
  last_ = std::move(error);
}

void Library::EndSession() {
  if (session_) commandsOfEndedSessions_ += session_->CommandsSent();
  session_.reset();
}

Expected<void> Library::Initialize() {
  std::lock_guard lock(mutex_);
  EndSession();  // initialising again starts clean: no reader left open
  initialized_ = true;
  return Remember(Expected<void>());
}

Expected<void> Library::Open(std::string_view choice) {
  std::lock_guard lock(mutex_);
  if (!initialized_) return Remember<void>(Fail(ErrorKind::NotInitialized));
  EndSession();
  auto opened = OpenReader(choice, drivers_);
  if (!opened) {
    LogLine(opened.error().detail);
    return Remember<void>(Unexpected(opened.error()));
  }
  session_ = std::make_unique<ReaderSession>(std::move(*opened));
  return Remember(Expected<void>());
}

Expected<PollingAnswer> Library::Poll(const PollingRequest& request) {
  std::lock_guard lock(mutex_);
  if (!initialized_) return Remember<PollingAnswer>(Fail(ErrorKind::NotInitialized));
  if (!session_) return Remember<PollingAnswer>(Fail(ErrorKind::NotOpen));
  return Remember(session_->Poll(request));
}

Expected<BlocksRead> Library::Read(const ReadRequest& request) {
  std::lock_guard lock(mutex_);
  if (!initialized_) return Remember<BlocksRead>(Fail(ErrorKind::NotInitialized));
  if (!session_) return Remember<BlocksRead>(Fail(ErrorKind::NotOpen));
  return Remember(session_->Read(request));
}

Expected<void> Library::Close() {
  std::lock_guard lock(mutex_);
  if (!initialized_) return Remember<void>(Fail(ErrorKind::NotInitialized));
  if (!session_) return Remember<void>(Fail(ErrorKind::NotOpen));
  EndSession();
  return Remember(Expected<void>());
}

Expected<void> Library::Dispose() {
  std::lock_guard lock(mutex_);
  if (!initialized_) return Remember<void>(Fail(ErrorKind::NotInitialized));
  EndSession();
  initialized_ = false;
  return Remember(Expected<void>());
}

std::optional<Error> Library::LastError() {
  std::lock_guard lock(mutex_);
  return last_;
}

long Library::CommandsSent() {
  std::lock_guard lock(mutex_);
  return commandsOfEndedSessions_ + (session_ ? session_->CommandsSent() : 0);
}

}  // namespace reader
