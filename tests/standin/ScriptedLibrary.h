#pragma once
// A scripted stand-in for the reader library: serves given blocks, fails
// chosen calls, and records every call with its arguments.

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace standin {

using Block = std::array<std::uint8_t, 16>;

struct Script {
  std::array<std::uint8_t, 8> idm{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
  std::map<std::uint16_t, std::vector<Block>> services;  // by service code
  std::set<std::string> failingCalls;                    // function names that return 0
  std::optional<std::uint16_t> failingService;           // reads of it return 0
  std::int32_t felicaErrorType = 0;
  std::int32_t rwErrorType = 0;
  std::uint8_t statusFlag1 = 0;  // written on success too
  std::uint8_t statusFlag2 = 0;
};

struct Call {
  explicit Call(std::string name = {}) : function(std::move(name)) {}
  std::string function;
  // read_block_without_encryption
  std::vector<std::uint8_t> idm;
  int numberOfServices = 0;
  std::uint16_t serviceCode = 0;
  int numberOfBlocks = 0;
  std::vector<std::uint8_t> blockList;                // all 20 two-byte elements
  std::array<std::uint8_t, 3> responseAreasBefore{};  // flag 1, flag 2, result blocks
  bool blockDataZeroBefore = false;
  // polling_and_get_card_information
  std::array<std::uint8_t, 2> systemCode{};
  int timeSlot = -1;
  int numberOfCardsBefore = -1;
  // diagnostic lines interleaved by the tests
  std::string text;
};

void Reset(Script script);
Script& Current();
const std::vector<Call>& Calls();
std::vector<std::string> CallNames();
void Record(Call call);  // for tests that interleave their own events

}  // namespace standin
