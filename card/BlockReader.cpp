#include "BlockReader.h"

#include <array>

#include "FeliCa.h"
#include "Hex.h"
#include "ZeroFilled.h"

namespace card {
namespace {

constexpr std::size_t kIdmLength = 8;

// Elements 0..19 in two-byte form: 0x80 (access mode 0, service 0), block k.
std::array<std::uint8_t, 2 * kMaxBlocks> MakeBlockList() {
  std::array<std::uint8_t, 2 * kMaxBlocks> list{};
  for (int k = 0; k < kMaxBlocks; ++k) {
    list[2 * k] = 0x80;
    list[2 * k + 1] = static_cast<std::uint8_t>(k);
  }
  return list;
}

const char* InvalidArgument(const std::vector<std::uint8_t>& idm, const std::vector<std::uint8_t>& serviceCodeList,
                            std::int16_t blocks) {
  if (idm.size() != kIdmLength) return "IDm is not 8 bytes";
  if (serviceCodeList.size() < 2) return "service code list is shorter than 2 bytes";
  if (blocks < 1 || blocks > kMaxBlocks) return "block count is outside 1 to 20";
  return nullptr;
}

std::string FailRead(const MessageWriter& setMessage) {
  setMessage(kReadErrorMessage);
  FeliCa::ReportReaderFailure();
  return {};
}

}  // namespace

std::string QAVOVext(std::vector<std::uint8_t>& bytCardIdm, std::vector<std::uint8_t>& bytServiceCodeList,
                     std::int16_t intBlocknumber, const MessageWriter& setMessage) {
  if (const char* why = InvalidArgument(bytCardIdm, bytServiceCodeList, intBlocknumber)) {
    FeliCa::WriteDiagnostic("Block read refused: ", why);
    return FailRead(setMessage);
  }

  auto blockList = MakeBlockList();
  std::array<std::uint8_t, kBlockDataSize> blockData{};
  std::uint8_t statusFlag1 = 0;
  std::uint8_t statusFlag2 = 0;
  std::uint8_t resultNumberOfBlocks = 1;

  auto request = ZeroFilled<ReadBlockRequest>();
  request.card_idm = bytCardIdm.data();
  request.number_of_services = 1;
  request.service_code_list = bytServiceCodeList.data();
  request.number_of_blocks = static_cast<std::uint8_t>(intBlocknumber);
  request.block_list = blockList.data();

  auto response = ZeroFilled<ReadBlockResponse>();
  response.status_flag1 = &statusFlag1;
  response.status_flag2 = &statusFlag2;
  response.result_number_of_blocks = &resultNumberOfBlocks;
  response.block_data = blockData.data();

  if (read_block_without_encryption(&request, &response) == 0) return FailRead(setMessage);
  std::string text;
  hex::Append(text, blockData);
  return text;
}

}  // namespace card
