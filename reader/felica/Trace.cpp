#include "Trace.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Frames.h"
#include "Hex.h"

namespace reader::trace {
namespace {

constexpr std::size_t kIdmSize = std::tuple_size_v<Idm>;

// Marks the IDm, and a read answer's blocks, of a FeliCa frame that starts
// at `at` (its length byte) and fits in the bytes; false when none does.
// Frames are found wherever a reader wraps them (InCommRF, a data object, a
// PN532 answer): a run of bytes that only looks like one is masked too,
// which costs a trace nothing.
bool MarkFrame(std::span<const std::uint8_t> bytes, std::size_t at, std::vector<bool>& secret) {
  const std::size_t length = bytes[at];
  if (length < 2 + kIdmSize || at + length > bytes.size()) return false;
  const std::uint8_t code = bytes[at + 1];
  if (code != kPollingResponse && code != kReadWithoutEncryptionCommand && code != kReadWithoutEncryptionResponse)
    return false;
  for (std::size_t i = 0; i < kIdmSize; ++i) secret[at + 2 + i] = true;
  // A read answer: status flags, then (on success) the count and the blocks.
  const std::size_t flags = at + 2 + kIdmSize;
  if (code != kReadWithoutEncryptionResponse || length < 2 + kIdmSize + 3 || bytes[flags] != 0) return true;
  const std::size_t blocks = flags + 3;
  const std::size_t end = std::min(at + length, blocks + bytes[flags + 2] * kBlockSize);
  for (std::size_t i = blocks; i < end; ++i) secret[i] = true;
  return true;
}

double Milliseconds() {
  static const auto start = std::chrono::steady_clock::now();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

bool Enabled() {
  const char* setting = std::getenv("FELICA_TRACE");
  return setting && std::strcmp(setting, "1") == 0;
}

std::string Masker::Masked(std::string_view channel, Direction direction, std::span<const std::uint8_t> bytes,
                           std::size_t secretBytes) {
  std::vector<bool> secret(bytes.size(), false);
  for (std::size_t i = 0; i < std::min(secretBytes, bytes.size()); ++i) secret[i] = true;
  // Every IDm a frame (or a run that looks like one) carried is remembered: a false one costs only bytes masked.
  const auto learn = [&](std::size_t at) {
    Idm idm;
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), kIdmSize, idm.begin());
    if (std::find(idms_.begin(), idms_.end(), idm) == idms_.end()) idms_.push_back(idm);
  };
  if (secretBytes == kIdmSize && bytes.size() >= kIdmSize) learn(0);
  bool whole = false;
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    if (MarkFrame(bytes, at, secret)) whole = true, learn(at + 2);
  }
  if (channel == "frame" && direction == Direction::ToReader) commandSent_ = true;
  if (commandSent_ && direction == Direction::FromReader && !whole)
    return "(" + std::to_string(bytes.size()) + " bytes)";
  for (const Idm& idm : idms_) {
    for (auto run = bytes.begin(); (run = std::search(run, bytes.end(), idm.begin(), idm.end())) != bytes.end(); ++run)
      std::fill_n(secret.begin() + (run - bytes.begin()), kIdmSize, true);
  }
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (secret[i]) {
      text += "**";
    } else {
      hex::Append(text, bytes.subspan(i, 1));
    }
  }
  return text;
}

void Bytes(std::string_view channel, Direction direction, std::span<const std::uint8_t> bytes,
           std::size_t secretBytes) {
  if (!Enabled()) return;
  static Masker masker;  // the IDm seen by earlier lines masks the later ones
  char time[32];
  std::snprintf(time, sizeof time, "%.3f ms ", Milliseconds());
  const std::string line = "felica_for_vb: trace " + std::string(time) + std::string(channel) +
                           (direction == Direction::ToReader ? " -> " : " <- ") +
                           masker.Masked(channel, direction, bytes, secretBytes) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace reader::trace
