#pragma once
// A scripted stand-in for the reader library: serves given blocks, fails
// chosen calls, and records every call with what it was given.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace standin {

using Block = std::array<std::uint8_t, 16>;

struct Script {
  std::array<std::uint8_t, 8> idm{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
  std::map<std::uint16_t, std::vector<Block>> services;  // by service code
  std::set<std::string> failingCalls;                    // function names that return 0
  std::optional<std::uint16_t> failingService;           // reads of it return 0
  std::int32_t felicaErrorType = 0, rwErrorType = 0;
  std::uint8_t statusFlag1 = 0, statusFlag2 = 0;  // written on success too
};

struct Call {
  std::string function;
  // Polling: system code, time slot, the card count before. A read: IDm, service count, service code list, block count,
  // all 20 block list elements, the response's flags and block count before, and whether its block data was all zeros
  // before. A test's own event: its text.
  std::string given;
};

void Reset(Script script);
const std::vector<Call>& Calls();
std::vector<std::string> CallNames();
void Record(Call call);  // for tests that interleave their own events

}  // namespace standin
