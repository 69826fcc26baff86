#include "PcscWorker.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace ccid {
namespace {

// How long closing may take: pcsc-lite's ends of a connection do not wait for other programs.
constexpr std::chrono::milliseconds kCloseWait{200};

// The workers that presses left behind, by name; and whether the program is ending, which a thread checks before
// each pcsc-lite call it closes with. Never destroyed: a thread left waiting in pcsc-lite may still look here while
// the program ends.
struct Registry {
  std::mutex mutex;
  std::condition_variable changed;
  std::map<std::string, int> left;
  std::timed_mutex endMutex;
  bool ending = false;
};

Registry& Workers() {
  static Registry& registry = *new Registry;
  return registry;
}

// Once the program ends, libpcsclite's destructor frees its list of contexts, and a call made then would crash: a
// thread still closing makes none after this (our library ends before the libraries it links). A close that pcscd
// holds is not waited for long.
struct EndOfProgram {
  ~EndOfProgram() {
    const bool locked = Workers().endMutex.try_lock_for(kCloseWait);
    Workers().ending = true;
    if (locked) Workers().endMutex.unlock();
  }
} endOfProgram;

template <typename Call>
void UnlessEnding(Call call) {
  std::lock_guard lock(Workers().endMutex);
  if (!Workers().ending) call();
}

void Close(PcscHandles& handles) {
  if (handles.inTransaction) UnlessEnding([&] { SCardEndTransaction(handles.card, SCARD_LEAVE_CARD); });
  if (handles.card) UnlessEnding([&] { SCardDisconnect(handles.card, SCARD_LEAVE_CARD); });
  if (handles.context) UnlessEnding([&] { SCardReleaseContext(handles.context); });
  handles = {};
}

}  // namespace

struct PcscWorker::Shared {
  std::mutex mutex;
  std::condition_variable changed;
  std::function<LONG(PcscHandles&)> call;  // the next call to make
  bool done = false, closing = false, closed = false, abandoned = false;
  LONG result = SCARD_S_SUCCESS;
  PcscHandles handles;
  std::string name;
};

// The thread: each call as it comes; then, once the worker is closed or abandoned, its context goes.
void PcscWorker::Serve(std::shared_ptr<Shared> shared) {
  auto& s = *shared;
  std::unique_lock lock(s.mutex);
  for (;;) {
    s.changed.wait(lock, [&] { return s.call || s.closing || s.abandoned; });
    if (!s.call) break;
    auto call = std::exchange(s.call, nullptr);
    lock.unlock();
    const LONG result = call(s.handles);
    lock.lock();
    s.result = result, s.done = true;
    s.changed.notify_all();
    if (s.abandoned) break;
  }
  lock.unlock();
  Close(s.handles);
  lock.lock();
  s.closed = true;
  s.changed.notify_all();
  if (!s.abandoned) return;
  lock.unlock();
  std::lock_guard workers(Workers().mutex);
  if (--Workers().left[s.name] == 0) Workers().left.erase(s.name);
  Workers().changed.notify_all();
}

std::unique_ptr<PcscWorker> PcscWorker::Start(const std::string& name, Deadline deadline, LONG& established) {
  established = SCARD_S_SUCCESS;
  {
    // One thread a reader in pcsc-lite at most: a press waits for the one an earlier press left.
    std::unique_lock lock(Workers().mutex);
    if (!Workers().changed.wait_until(lock, deadline, [&] { return !Workers().left.contains(name); })) return nullptr;
  }
  auto shared = std::make_shared<Shared>();
  shared->name = name;
  std::thread(Serve, shared).detach();
  std::unique_ptr<PcscWorker> worker(new PcscWorker(shared));
  const auto result = worker->Run(
      [](PcscHandles& handles) {
        return SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &handles.context);
      },
      deadline);
  if (!result) return nullptr;
  established = *result;
  if (*result != SCARD_S_SUCCESS) return nullptr;
  return worker;
}

std::optional<LONG> PcscWorker::Run(std::function<LONG(PcscHandles&)> call, Deadline until) {
  auto& s = *shared_;
  std::unique_lock lock(s.mutex);
  if (s.abandoned) return std::nullopt;
  s.call = std::move(call), s.done = false;
  s.changed.notify_all();
  if (s.changed.wait_until(lock, until, [&] { return s.done; })) return s.result;
  s.abandoned = true;  // the thread is left to finish the call and close; its reader counts as held until then
  s.changed.notify_all();
  std::lock_guard workers(Workers().mutex);
  ++Workers().left[s.name];
  return std::nullopt;
}

PcscWorker::~PcscWorker() {
  auto& s = *shared_;
  std::unique_lock lock(s.mutex);
  if (s.abandoned) return;
  s.closing = true;
  s.changed.notify_all();
  if (s.changed.wait_for(lock, kCloseWait, [&] { return s.closed; })) return;
  s.abandoned = true;
  std::lock_guard workers(Workers().mutex);
  ++Workers().left[s.name];
}

}  // namespace ccid
