// FeliCa frames against hex, as they go over the air.
#include <gtest/gtest.h>

#include "Frames.h"

namespace {

using felica::Bytes;
using felica::DecodeError;

Bytes Hex(std::string_view text) { return *felica::ParseHex(text); }

const felica::Idm kIdm{0x01, 0x12, 0x04, 0x1E, 0x5A, 0x3C, 0x7D, 0x01};
constexpr const char* kIdmHex = "0112041E5A3C7D01";

TEST(Polling, EncodesSystemCodeInOrderThenRequestCodeAndSlot) {
  EXPECT_EQ(felica::EncodePolling(0x00, 0x0B, 0x00, 0x00), Hex("0600000B0000"));
  EXPECT_EQ(felica::EncodePolling(0xFF, 0xFF, 0x01, 0x03), Hex("0600FFFF0103"));
}

struct PollingCase {
  const char* name;
  const char* frame;
  DecodeError expected;
};

void PrintTo(const PollingCase& c, std::ostream* os) { *os << c.name; }

class PollingDecodeTest : public testing::TestWithParam<PollingCase> {};

TEST_P(PollingDecodeTest, Validates) {
  felica::PollingAnswer answer;
  EXPECT_EQ(felica::DecodePolling(Hex(GetParam().frame), answer), GetParam().expected);
  if (GetParam().expected == DecodeError::None) {
    EXPECT_EQ(answer.idm, kIdm);
    EXPECT_EQ(answer.pmm[1], 0x20);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Frames, PollingDecodeTest,
    testing::Values(PollingCase{"Good", "12010112041E5A3C7D010120220427674EFF", DecodeError::None},
                    PollingCase{"WithRequestData", "14010112041E5A3C7D010120220427674EFF000B", DecodeError::None},
                    PollingCase{"Short", "11010112041E5A3C7D010120220427674E", DecodeError::WrongLength},
                    PollingCase{"Long", "13010112041E5A3C7D010120220427674EFF00", DecodeError::WrongLength},
                    PollingCase{"LengthByteDisagrees", "13010112041E5A3C7D010120220427674EFF", DecodeError::WrongLength},
                    PollingCase{"Empty", "", DecodeError::WrongLength},
                    PollingCase{"WrongCode", "12070112041E5A3C7D010120220427674EFF", DecodeError::WrongResponseCode}),
    [](const auto& info) { return std::string(info.param.name); });

std::vector<felica::BlockListElement> TwoByteElements(int first, int count) {
  Bytes list;
  for (int k = first; k < first + count; ++k) list.insert(list.end(), {0x80, static_cast<std::uint8_t>(k)});
  return *felica::ParseBlockList(list.data(), count, 1);
}

TEST(ReadWithoutEncryption, EncodesIdmServicesAndBlockList) {
  const Bytes services = Hex("0F06");
  const auto frame = felica::EncodeReadWithoutEncryption(kIdm, services, 1, TwoByteElements(0, 3));
  ASSERT_TRUE(frame);
  EXPECT_EQ(*frame, Hex(std::string("1406") + kIdmHex + "010F0603800080018002"));
}

TEST(ReadWithoutEncryption, KeepsThreeByteElementsAndServiceIndexes) {
  const Bytes list = Hex("8100" "010201" "8005");  // 2-byte, 3-byte (block 0x0102), 2-byte
  const auto elements = felica::ParseBlockList(list.data(), 3, 2);
  ASSERT_TRUE(elements);
  EXPECT_EQ((*elements)[0].serviceIndex(), 1);
  EXPECT_EQ((*elements)[1].size, 3);
  const Bytes services = Hex("0B021704");
  const auto frame = felica::EncodeReadWithoutEncryption(kIdm, services, 2, *elements);
  ASSERT_TRUE(frame);
  EXPECT_EQ(*frame, Hex(std::string("1706") + kIdmHex + "020B021704" "03" "8100" "010201" "8005"));
}

TEST(ReadWithoutEncryption, RefusesAServiceIndexOutsideTheList) {
  const Bytes list = Hex("80008100");
  EXPECT_FALSE(felica::ParseBlockList(list.data(), 2, 1));
  EXPECT_TRUE(felica::ParseBlockList(list.data(), 2, 2));
}

TEST(ReadWithoutEncryption, RefusesAFrameOver255Bytes) {
  Bytes services;
  for (int s = 0; s < 16; ++s) services.insert(services.end(), {0x0F, 0x06});
  Bytes list;
  for (int k = 0; k < 71; ++k) list.insert(list.end(), {0x00, static_cast<std::uint8_t>(k), 0x00});
  const auto elements = *felica::ParseBlockList(list.data(), 71, 16);
  EXPECT_FALSE(felica::EncodeReadWithoutEncryption(kIdm, services, 16, elements));
  EXPECT_TRUE(felica::EncodeReadWithoutEncryption(kIdm, services, 16, std::span(elements).first(60)));
}

struct ReadCase {
  const char* name;
  std::string frame;
  int expectedBlocks;
  DecodeError expected;
  std::uint8_t flag1 = 0, flag2 = 0;
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

std::string ReadAnswer(const char* length, const char* idm, const char* rest) {
  return std::string(length) + "07" + idm + rest;
}
const std::string kBlock = "00112233445566778899AABBCCDDEEFF";

class ReadDecodeTest : public testing::TestWithParam<ReadCase> {};

TEST_P(ReadDecodeTest, Validates) {
  const auto& c = GetParam();
  felica::ReadAnswer answer;
  EXPECT_EQ(felica::DecodeReadWithoutEncryption(Hex(c.frame), kIdm, c.expectedBlocks, answer), c.expected);
  if (c.expected == DecodeError::None) {
    EXPECT_EQ(answer.statusFlag1, c.flag1);
    EXPECT_EQ(answer.statusFlag2, c.flag2);
    EXPECT_EQ(answer.blockData.size(), c.flag1 == 0 ? 16u * c.expectedBlocks : 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Frames, ReadDecodeTest,
    testing::Values(
        ReadCase{"OneBlock", ReadAnswer("1D", kIdmHex, "000001") + kBlock, 1, DecodeError::None},
        ReadCase{"TwoBlocks", ReadAnswer("2D", kIdmHex, "000002") + kBlock + kBlock, 2, DecodeError::None},
        ReadCase{"StatusA2", ReadAnswer("0C", kIdmHex, "FFA2"), 12, DecodeError::None, 0xFF, 0xA2},
        ReadCase{"StatusA6", ReadAnswer("0C", kIdmHex, "01A6"), 1, DecodeError::None, 0x01, 0xA6},
        ReadCase{"StatusA8", ReadAnswer("0C", kIdmHex, "01A8"), 1, DecodeError::None, 0x01, 0xA8},
        ReadCase{"StatusA1", ReadAnswer("0C", kIdmHex, "FFA1"), 1, DecodeError::None, 0xFF, 0xA1},
        ReadCase{"ErrorWithData", ReadAnswer("1D", kIdmHex, "01A801") + kBlock, 1, DecodeError::WrongLength},
        ReadCase{"Short", ReadAnswer("1C", kIdmHex, "000001") + kBlock.substr(0, 30), 1, DecodeError::WrongLength},
        ReadCase{"Long", ReadAnswer("1E", kIdmHex, "000001") + kBlock + "00", 1, DecodeError::WrongLength},
        ReadCase{"CountDisagreesWithData", ReadAnswer("1D", kIdmHex, "000002") + kBlock, 2, DecodeError::WrongLength},
        ReadCase{"FewerBlocksThanAsked", ReadAnswer("1D", kIdmHex, "000001") + kBlock, 2, DecodeError::WrongBlockCount},
        ReadCase{"NoBlockCount", ReadAnswer("0C", kIdmHex, "0000"), 1, DecodeError::WrongLength},
        ReadCase{"TooShortForStatus", ReadAnswer("0B", kIdmHex, "00"), 1, DecodeError::WrongLength},
        ReadCase{"WrongCode", "1D09" + std::string(kIdmHex) + "000001" + kBlock, 1, DecodeError::WrongResponseCode},
        ReadCase{"OtherCard", ReadAnswer("1D", "0112041E5A3C7D02", "000001") + kBlock, 1, DecodeError::WrongIdm}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Hex, ParsesEitherCaseAndRefusesOddOrForeignText) {
  EXPECT_EQ(felica::ParseHex("0aFf"), (Bytes{0x0A, 0xFF}));
  EXPECT_FALSE(felica::ParseHex("0"));
  EXPECT_FALSE(felica::ParseHex("0g"));
  EXPECT_FALSE(felica::ParseHex(" 0"));
  EXPECT_EQ(felica::ToHex(Bytes{0x00, 0x0A, 0xA0, 0xFF}), "000AA0FF");
}

}  // namespace
