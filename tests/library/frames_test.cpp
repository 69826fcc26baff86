// What goes over the wire, against literal bytes: FeliCa frames, the RC-S380's port100 frames, and the PC/SC
// pseudo-APDUs and their answers. Byte layouts are those of the FeliCa command reference, nfcpy's RC-S380 driver and
// tests, the Linux port100 driver, PC/SC part 3 and the ACS reader manuals; the bytes here are written out, never
// computed by the code under test.
#include <gtest/gtest.h>

#include "ContactlessApdu.h"
#include "Frames.h"
#include "Port100Frame.h"
#include "Trace.h"
#include "support/Hex.h"
#include "support/Outcome.h"

namespace {

using reader::ErrorKind;
using testsupport::Hex;
using testsupport::HexOf;
using testsupport::Outcome;

const reader::Idm kIdm{0x01, 0x12, 0x04, 0x1E, 0x5A, 0x3C, 0x7D, 0x01};
const std::string kBlock = "00112233445566778899AABBCCDDEEFF";

std::string AsHex(const reader::Bytes& bytes) { return HexOf(bytes); }

TEST(FelicaFrames, CommandsAsTheCardExpectsThem) {
  EXPECT_EQ(HexOf(reader::EncodePolling({{0x00, 0x0B}, 0x00, 0x00})), "0600000B0000");
  EXPECT_EQ(HexOf(reader::EncodePolling({{0xFF, 0xFF}, 0x01, 0x03})), "0600FFFF0103");
  const reader::BlockListElement elements[] = {{{0x80, 0x00}, 2}, {{0x80, 0x13}, 2}, {{0x00, 0x34, 0x12}, 3}};
  const std::uint16_t services[] = {0x060F};
  EXPECT_EQ(Outcome(reader::EncodeReadWithoutEncryption(kIdm, services, elements), AsHex),
            "15060112041E5A3C7D01010F060380008013003412");
  // 16 services and 71 three-byte elements make more than 255 bytes.
  const std::vector<std::uint16_t> many(16, 0x060F);
  const std::vector<reader::BlockListElement> three(71, reader::BlockListElement{{0x00, 0x01, 0x00}, 3});
  EXPECT_EQ(Outcome(reader::EncodeReadWithoutEncryption(kIdm, many, three), AsHex), "InvalidArgument");
  EXPECT_TRUE(reader::EncodeReadWithoutEncryption(kIdm, many, std::span(three).first(60)));
}

TEST(FelicaFrames, PollingAnswers) {
  // clang-format off
  const std::pair<std::string, const char*> cases[] = {  // the frame; its IDm and PMm, or the error
      {"12 01 0112041E5A3C7D01 0120220427674EFF", "0112041E5A3C7D01 0120220427674EFF"},
      {"14 01 0112041E5A3C7D01 0120220427674EFF 000B", "0112041E5A3C7D01 0120220427674EFF"},
      {"11 01 0112041E5A3C7D01 0120220427674E", "BadResponse"}, {"13 01 0112041E5A3C7D01 0120220427674EFF", "BadResponse"},
      {"13 01 0112041E5A3C7D01 0120220427674EFF 00", "BadResponse"}, {"", "BadResponse"},
      {"12 07 0112041E5A3C7D01 0120220427674EFF", "BadResponse"}, {"11 01 0112041E5A3C7D01 0120220427674EFF", "BadResponse"}};
  // clang-format on
  for (const auto& [frame, expected] : cases) {
    const auto answer = reader::DecodePolling(Hex(frame));
    EXPECT_EQ(Outcome(answer, [](const auto& a) { return HexOf(a.idm) + " " + HexOf(a.pmm); }), expected) << frame;
  }
}

TEST(FelicaFrames, ReadAnswersForTwoBlocks) {
  // clang-format off
  const std::pair<std::string, std::string> cases[] = {  // the frame; its flags and data, or the error
      {"2D 07 0112041E5A3C7D01 0000 02" + kBlock + kBlock, "0000 " + kBlock + kBlock},
      {"0C 07 0112041E5A3C7D01 FFA2", "FFA2 "}, {"0C 07 0112041E5A3C7D01 01A6", "01A6 "},
      {"1D 07 0112041E5A3C7D01 01A8 01" + kBlock, "BadResponse"},  // an error with data
      {"1D 07 0112041E5A3C7D01 0000 01" + kBlock, "BadResponse"},  // one block for two
      {"1D 07 0112041E5A3C7D01 0000 02" + kBlock, "BadResponse"},  // the count disagrees with the data
      {"0C 07 0112041E5A3C7D01 0000", "BadResponse"}, {"0B 07 0112041E5A3C7D01 00", "BadResponse"},
      {"2D 09 0112041E5A3C7D01 0000 02" + kBlock + kBlock, "BadResponse"},  // then a length byte short of the size:
      {"2C 07 0112041E5A3C7D01 0000 02" + kBlock + kBlock, "BadResponse"},
      {"2D 07 0112041E5A3C7D02 0000 02" + kBlock + kBlock, "CardSwapped"}};
  // clang-format on
  for (const auto& [frame, expected] : cases) {
    const auto answer = reader::DecodeReadWithoutEncryption(Hex(frame), kIdm, 2);
    const auto flagsAndData = [](const auto& a) {
      return HexOf(std::vector<std::uint8_t>{a.statusFlag1, a.statusFlag2}) + " " + HexOf(a.blockData);
    };
    EXPECT_EQ(Outcome(answer, flagsAndData), expected) << frame;
  }
}

TEST(FelicaTrace, ShowsNeitherTheIdmNorABlockHoweverTheTransfersFall) {
  using reader::trace::Direction;
  const std::string idm = "0102030405060708", stars(16, '*');
  // An RC-S380 answer to a read of 12 blocks: InCommRF's result, then the frame (CD bytes).
  const std::string read = "D70500000000CD07" + idm + "00000C" + std::string(12 * 32, 'A');
  // clang-format off
  const std::tuple<const char*, Direction, std::string, std::string> lines[] = {
      {"frame", Direction::ToReader, "0600FFFF0100", "0600FFFF0100"},  // a command to the card: what comes back is
      {"usb", Direction::FromReader, "D705000000001201" + idm.substr(0, 6), "(11 bytes)"},  // whole frames or a length
      {"frame", Direction::FromReader, "1201" + idm + "0120220427674EFF", "1201" + stars + "0120220427674EFF"},
      {"usb", Direction::ToReader, "D604" + idm + "00", "D604" + stars + "00"},  // the IDm known, wherever it stands
      {"usb", Direction::FromReader, read.substr(0, 128), "(64 bytes)"},
      {"usb", Direction::FromReader, read.substr(128), "(147 bytes)"},
      {"usb", Direction::FromReader, read, "D70500000000CD07" + stars + "00000C" + std::string(12 * 32, '*')}};
  // clang-format on
  reader::trace::Masker masker;
  for (const auto& [channel, direction, bytes, shown] : lines)
    EXPECT_EQ(masker.Masked(channel, direction, Hex(bytes)), shown);
  // The trace's own lines remember it from one to the next.
  setenv("FELICA_TRACE", "1", 1), testing::internal::CaptureStderr();
  for (const auto& [channel, direction, bytes, shown] : lines) reader::trace::Bytes(channel, direction, Hex(bytes));
  unsetenv("FELICA_TRACE");
  EXPECT_EQ(testing::internal::GetCapturedStderr().find(idm), std::string::npos);
  EXPECT_EQ(reader::trace::Masker().Masked("apdu", Direction::FromReader, Hex(idm + "9000"), 8), stars + "9000");
}

TEST(Port100Frames, CommandsAsNfcpySendsThem) {
  EXPECT_EQ(HexOf(port100::EncodeCommand(0x20, {})), "0000FFFFFF0200FED6200A00");
  const std::vector<std::uint8_t> long300(298, 0x01);  // D6, the code and 298 bytes: length 012C
  EXPECT_EQ(HexOf(port100::EncodeCommand(0x04, long300)).substr(0, 16), "0000FFFFFF2C01D3");
}

TEST(Port100Frames, Decodes) {
  // clang-format off
  const std::pair<const char*, const char*> cases[] = {
      {"0000FF00FF00", "Ack"}, {"0000FFFFFF", "Error"}, {"0000FFFFFF0400FCD7211101F600", "D7211101"},
      {"0000FFFFFF0400FBD7211101F600", "length checksum wrong"}, {"0000FFFFFF0400FCD7211101F700", "data checksum wrong"},
      {"0000FFFFFF0400FC", "frame too short"}, {"0000FFFFFF0A00F6D7211101F600", "frame shorter than its length"},
      {"0100FFFFFF0400FCD7211101F600", "no frame preamble"}, {"0000FF04FCD7211101F600", "not an extended frame"},
      {"", "no frame preamble"}};
  // clang-format on
  for (const auto& [frame, expected] : cases) {
    const auto decoded = port100::DecodeFrame(Hex(frame));
    const std::string shown[] = {"Ack", HexOf(decoded.data), "Error", std::string(decoded.fault)};
    EXPECT_EQ(shown[static_cast<int>(decoded.kind)], expected) << frame;
  }
}

TEST(Port100Frames, InCommRfResults) {
  // Success: four error bytes of zero, one byte more, the card's frame. Failure: the four bytes alone.
  const std::pair<const char*, const char*> cases[] = {{"00000000 08 0C07", "0C07"}, {"80000000", "Timeout"},
                                                       {"01000000", "Transmission"}, {"00000000", "Transmission"},
                                                       {"000000", "Transmission"},   {"80000000 00 0C07", "Timeout"}};
  for (const auto& [result, expected] : cases) {
    EXPECT_EQ(Outcome(port100::ParseInCommRfResult(Hex(result)), AsHex), expected) << result;
  }
}

TEST(PcscApdus, AsPcscPartThreeAndTheReaderManualsWriteThem) {
  EXPECT_EQ(HexOf(ccid::GetIdmApdu()), "FFCA000000");
  EXPECT_EQ(HexOf(ccid::SwitchToFelicaApdu()), "FFC20002048F02030000");
  EXPECT_EQ(HexOf(ccid::TransparentExchangeApdu(Hex("0600000B0000"), 60000)),
            "FFC200010F5F460460EA000095060600000B000000");
  EXPECT_EQ(HexOf(*ccid::DirectTransmitApdu(Hex("D402"))), "FF00000002D402");
  EXPECT_EQ(HexOf(*ccid::DirectTransmitApdu(std::vector<std::uint8_t>(255, 0x22))).substr(0, 10), "FF000000FF");
  EXPECT_EQ(ccid::DirectTransmitApdu(std::vector<std::uint8_t>(256, 0x22)).error().kind,
            reader::ErrorKind::InvalidArgument);  // never sent with its length wrapped to 00
  // 255 bytes of frame need an extended Lc and a long-form length.
  const auto apdu = ccid::TransparentExchangeApdu(std::vector<std::uint8_t>(255, 0x22), 1000);
  EXPECT_EQ(HexOf(std::span(apdu).first(17)), "FFC200010001095F4604E80300009581FF");
}

TEST(PcscApdus, TransparentAnswers) {
  // The RC-S300's answer, a long-form length and a one-byte one, no answer three ways, refusals, malformed objects.
  // clang-format off
  const std::string lenient = "83" + std::string(2 * 0x82, 'A');  // its length above 7F in one byte, without the 81
  const std::pair<std::string, std::string> cases[] = {
      {"C003009000 920100 96020000 9703030102 9000", "030102"}, {"C003009000 978103030102 9000", "030102"},
      {"C003009000 9783" + lenient + "9000", lenient},
      {"C003026401 9000", "Timeout"}, {"C003016401 9000", "Transmission"}, {"C003009000 9000", "Timeout"},
      {"C003016A81 9000", "Transmission"}, {"6A81", "Transmission"}, {"C003009000 97050301 9000", "BadResponse"},
      {"C003016401 9703030102 9000", "Transmission"}, {"9703030102 C003026401 9000", "Timeout"},  // a frame, not done
      {"9703030102 9000", "BadResponse"}, {"C00200 9000", "BadResponse"}};
  // clang-format on
  for (const auto& [response, expected] : cases) {
    EXPECT_EQ(Outcome(ccid::TransparentAnswer(*ccid::SplitResponse(Hex(response))), AsHex), expected) << response;
  }
  EXPECT_FALSE(ccid::SplitResponse(Hex("90")));
}

TEST(PcscApdus, Pn532AnswersInsideDirectTransmit) {
  const auto answer = [](const char* response, std::uint8_t command) {
    return Outcome(ccid::Pn532Answer(*ccid::SplitResponse(Hex(response)), command), AsHex);
  };
  EXPECT_EQ(answer("D54B 0101 1201 0112041E5A3C7D01 0120220427674EFF 9000", 0x4A),
            "010112010112041E5A3C7D010120220427674EFF");
  EXPECT_EQ(answer("D54B 00 9000", 0x40), "BadResponse");
  EXPECT_EQ(answer("637F", 0x4A), "Transmission");
  const auto polling = [](const char* parameters) {
    return Outcome(ccid::Pn532PollingAnswer(Hex(parameters)), [](const auto& a) { return HexOf(a.idm); });
  };
  EXPECT_EQ(polling("01 01 12 01 0112041E5A3C7D01 0120220427674EFF"), "0112041E5A3C7D01");
  EXPECT_EQ(polling("00"), "Timeout");
  EXPECT_EQ(polling("01"), "BadResponse");
  const std::pair<const char*, const char*> exchanges[] = {
      {"00 0C07", "0C07"}, {"01", "Timeout"}, {"27", "CardLost"}, {"0B", "Transmission"}, {"", "BadResponse"}};
  for (const auto& [parameters, expected] : exchanges) {
    EXPECT_EQ(Outcome(ccid::Pn532ExchangeAnswer(Hex(parameters)), AsHex), expected) << parameters;
  }
}

}  // namespace
