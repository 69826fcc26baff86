#pragma once
// Every pcsc-lite call that can block, made on a thread with a PC/SC context of its own: pcscd holds SCardConnect for
// as long as another program keeps the reader's transaction, the client library retries a transmit without end while
// another program holds a transaction that pcscd took from us, reading the readers' states sleeps 400 ms for every
// mute card, and libccid waits up to 30 s for an escape. A press waits for each call only until its deadline; then it
// leaves the thread to finish the call, close what it holds and end. Until it has, its reader counts as held: there
// is never more than one such thread a reader, nor a pcscd context more.

#include <PCSC/winscard.h>
#include <PCSC/wintypes.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace ccid {

using Deadline = std::chrono::steady_clock::time_point;

// What is left before the deadline, at most `most`, as pcsc-lite's timeouts take it.
inline DWORD MillisecondsLeft(Deadline deadline, std::chrono::milliseconds most) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return static_cast<DWORD>(std::clamp(left, std::chrono::milliseconds(0), most).count());
}

// What the calls of one worker share; only its thread touches them.
struct PcscHandles {
  SCARDCONTEXT context = 0;
  SCARDHANDLE card = 0;
  DWORD protocol = 0;
  bool inTransaction = false;
};

class PcscWorker {
 public:
  // A worker for `name` (a reader, or "" for the readers' states), with its context established; nullptr when
  // the deadline passes first, or while a worker an earlier press left for the same name still waits in pcsc-lite.
  // `established` says why not, where pcsc-lite answered.
  static std::unique_ptr<PcscWorker> Start(const std::string& name, Deadline deadline, LONG& established);
  ~PcscWorker();  // ends the transaction, leaves the card as it is and releases the context, on its thread
  PcscWorker(const PcscWorker&) = delete;
  PcscWorker& operator=(const PcscWorker&) = delete;

  // The call's result; nullopt when `until` came first (or came for an earlier call): the worker is then left to end
  // on its own. Whatever the call writes besides its handles must be owned by the call.
  std::optional<LONG> Run(std::function<LONG(PcscHandles&)> call, Deadline until);

 private:
  struct Shared;
  explicit PcscWorker(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}
  static void Serve(std::shared_ptr<Shared> shared);
  std::shared_ptr<Shared> shared_;
};

}  // namespace ccid
