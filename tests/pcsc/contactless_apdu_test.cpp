// The PC/SC pseudo-APDUs and their answers, as hex.
#include <gtest/gtest.h>

#include "ContactlessApdu.h"

namespace {

using felica::Bytes;
using pcsc::AnswerKind;

Bytes Hex(std::string_view text) { return *felica::ParseHex(text); }

TEST(ContactlessApdu, Commands) {
  EXPECT_EQ(felica::ToHex(pcsc::GetIdmApdu()), "FFCA000000");
  EXPECT_EQ(felica::ToHex(pcsc::StartSessionApdu()), "FFC20000028100");
  EXPECT_EQ(felica::ToHex(pcsc::EndSessionApdu()), "FFC20000028200");
  EXPECT_EQ(felica::ToHex(pcsc::SwitchToFelicaApdu()), "FFC20002048F020300");
  const Bytes polling = Hex("0600000B0000");
  EXPECT_EQ(felica::ToHex(pcsc::TransparentExchangeApdu(polling, 60000)),
            "FFC200010F" "5F460460EA0000" "95060600000B0000" "00");
}

TEST(ContactlessApdu, LongFramesUseLongFormLengths) {
  const Bytes frame(200, 0x11);
  const auto apdu = pcsc::TransparentExchangeApdu(frame, 1000);
  EXPECT_EQ(felica::ToHex(std::span(apdu).first(15)), "FFC20001D25F4604E80300009581C8");
  const Bytes longer(255, 0x22);
  const auto extended = pcsc::TransparentExchangeApdu(longer, 1000);
  EXPECT_EQ(felica::ToHex(std::span(extended).first(17)), "FFC200010001095F4604E80300009581FF");
  const auto objects = pcsc::ParseDataObjects(std::span(extended).subspan(7, extended.size() - 9));
  ASSERT_TRUE(objects);
  EXPECT_EQ((*objects)[1].value, longer);
}

struct ResponseCase {
  const char* name;
  const char* hex;
  AnswerKind kind;
  const char* frame = "";
};

void PrintTo(const ResponseCase& c, std::ostream* os) { *os << c.name; }

class TransparentResponseTest : public testing::TestWithParam<ResponseCase> {};

TEST_P(TransparentResponseTest, Parses) {
  const auto answer = pcsc::ParseTransparentResponse(Hex(GetParam().hex));
  EXPECT_EQ(answer.kind, GetParam().kind);
  EXPECT_EQ(felica::ToHex(answer.data), GetParam().frame);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, TransparentResponseTest,
    testing::Values(
        ResponseCase{"CardAnswered", "C003009000920100960200009703030102" "9000", AnswerKind::Ok, "030102"},
        ResponseCase{"NoAnswerFromCard", "C0030164019000", AnswerKind::NoAnswer},
        ResponseCase{"StatusButNoFrame", "C0030090009000", AnswerKind::NoAnswer},
        ResponseCase{"OtherStatus", "C003016A819000", AnswerKind::Refused},
        ResponseCase{"WrongStatusWord", "6A81", AnswerKind::Refused},
        ResponseCase{"Empty", "", AnswerKind::Empty}, ResponseCase{"OneByte", "90", AnswerKind::Empty},
        ResponseCase{"TruncatedObject", "C003009000970503019000", AnswerKind::Malformed},
        ResponseCase{"NoStatusObject", "97030301029000", AnswerKind::Malformed},
        ResponseCase{"LongFormFrame", "C003009000978103030102" "9000", AnswerKind::Ok, "030102"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ContactlessApdu, PlainResponses) {
  EXPECT_EQ(pcsc::ParsePlainResponse(Hex("0112041E5A3C7D019000")).kind, AnswerKind::Ok);
  EXPECT_EQ(pcsc::ParsePlainResponse(Hex("C0030090009000")).kind, AnswerKind::Ok);
  EXPECT_EQ(pcsc::ParsePlainResponse(Hex("C003016A819000")).kind, AnswerKind::Refused);
  EXPECT_EQ(pcsc::ParsePlainResponse(Hex("6700")).kind, AnswerKind::Refused);
}

}  // namespace
