// The port100 frame layer against hex frames. Byte layouts (preamble,
// extended-frame marker, little-endian length, LCS/DCS checksums, ACK and
// error frames, D6/D7 directions) are the ones documented for the Sony
// NFC Port-100 chipset in nfcpy's RC-S380 driver and the Linux kernel's
// port100 driver; they are the fact source, not the code.
#include <gtest/gtest.h>

#include "Port100Frame.h"

namespace {

using felica::Bytes;
using port100::FrameKind;

Bytes Hex(std::string_view text) { return *felica::ParseHex(text); }

TEST(Port100Frame, EncodesCommands) {
  const std::pair<Bytes, const char*> cases[] = {
      {port100::EncodeCommand(0x20, {}), "0000FFFFFF0200FED6200A00"},                       // GetFirmwareVersion
      {port100::EncodeCommand(0x2A, Bytes{0x01}), "0000FFFFFF0300FDD62A01FF00"},            // SetCommandType 1
      {port100::EncodeCommand(0x06, Bytes{0x00}), "0000FFFFFF0300FDD6060024 00"},           // SwitchRF off
      {port100::EncodeCommand(0x00, Bytes{0x01, 0x01, 0x0F, 0x01}), "0000FFFFFF0600FAD60001010F011800"},
  };
  for (const auto& [frame, hex] : cases) {
    std::string clean(hex);
    std::erase(clean, ' ');
    EXPECT_EQ(felica::ToHex(frame), clean);
  }
}

TEST(Port100Frame, LongDataUsesTwoLengthBytes) {
  const Bytes data(300, 0x01);
  const auto frame = port100::EncodeFrame(data);
  EXPECT_EQ(frame[5], 0x2C);
  EXPECT_EQ(frame[6], 0x01);
  EXPECT_EQ((frame[5] + frame[6] + frame[7]) % 256, 0);
  const auto decoded = port100::DecodeFrame(frame);
  ASSERT_EQ(decoded.kind, FrameKind::Data);
  EXPECT_EQ(decoded.data, data);
}

struct DecodeCase {
  const char* name;
  const char* frame;
  FrameKind kind;
  const char* data = "";
};

void PrintTo(const DecodeCase& c, std::ostream* os) { *os << c.name; }

class Port100DecodeTest : public testing::TestWithParam<DecodeCase> {};

TEST_P(Port100DecodeTest, Decodes) {
  const auto decoded = port100::DecodeFrame(Hex(GetParam().frame));
  EXPECT_EQ(decoded.kind, GetParam().kind);
  if (GetParam().kind == FrameKind::Data) {
    EXPECT_EQ(felica::ToHex(decoded.data), GetParam().data);
  }
  if (GetParam().kind == FrameKind::Invalid) {
    EXPECT_FALSE(decoded.fault.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Frames, Port100DecodeTest,
    testing::Values(DecodeCase{"Ack", "0000FF00FF00", FrameKind::Ack},
                    DecodeCase{"ErrorFrame", "0000FFFFFF", FrameKind::Error},
                    DecodeCase{"FirmwareVersion", "0000FFFFFF0400FCD7211101F600", FrameKind::Data, "D7211101"},
                    DecodeCase{"BadLengthChecksum", "0000FFFFFF0400FBD7211101F600", FrameKind::Invalid},
                    DecodeCase{"BadDataChecksum", "0000FFFFFF0400FCD7211101F700", FrameKind::Invalid},
                    DecodeCase{"Truncated", "0000FFFFFF0400FCD72111", FrameKind::Invalid},
                    DecodeCase{"TooShort", "0000FFFFFF04", FrameKind::Invalid},
                    DecodeCase{"NoPreamble", "0100FFFFFF0400FCD7211101F600", FrameKind::Invalid},
                    DecodeCase{"NormalFrame", "0000FF04FCD7211101F600", FrameKind::Invalid},
                    DecodeCase{"Empty", "", FrameKind::Invalid}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
