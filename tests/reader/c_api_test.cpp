// The seven C functions through libfelica_for_vb.so, as any program calls
// them: their records, their error numbers and their call order.
#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cstdlib>
#include <fstream>

#include "felica_for_vb.h"

namespace {

struct Errors {
  std::int32_t felica = -1;
  std::int32_t rw = -1;
};

Errors LastErrors() {
  Errors errors;
  get_last_error_types(&errors.felica, &errors.rw);
  return errors;
}

class CApiTest : public testing::Test {
 protected:
  void SetUp() override { setenv("FELICA_READER", "sim:" QAVO_SAMPLES_DIR "/demo-card.json", 1); }
  void TearDown() override { dispose_library(); }
  void Use(const std::string& json) {
    std::ofstream(path_) << json;
    setenv("FELICA_READER", ("sim:" + path_).c_str(), 1);
  }
  bool OpenAndPoll() {
    std::array<std::uint8_t, 2> systemCode{0x00, 0x0B};
    PollingRecord polling{systemCode.data(), 0};
    CardInformationRecord info{idm.data(), pmm.data()};
    std::uint8_t cards = 0;
    const bool polled = initialize_library() && open_reader_writer_auto() && polling_and_get_card_information(&polling, &cards, &info);
    return polled && cards == 1;
  }
  std::uint8_t Read(std::uint16_t service, int blocks) {
    std::array<std::uint8_t, 2> services{static_cast<std::uint8_t>(service & 0xFF), static_cast<std::uint8_t>(service >> 8)};
    std::array<std::uint8_t, 40> list{};
    for (int k = 0; k < 20; ++k) list[2 * k] = 0x80, list[2 * k + 1] = static_cast<std::uint8_t>(k);
    ReadBlockRequest request{idm.data(), 1, services.data(), static_cast<std::uint8_t>(blocks), list.data()};
    data.fill(0xEE);  // what the library must not touch stays EE
    flag1 = flag2 = resultBlocks = 0x55;
    ReadBlockResponse response{&flag1, &flag2, &resultBlocks, data.data()};
    return read_block_without_encryption(&request, &response);
  }

  std::array<std::uint8_t, 8> idm{};
  std::array<std::uint8_t, 8> pmm{};
  std::array<std::uint8_t, 400> data{};
  std::uint8_t flag1 = 0, flag2 = 0, resultBlocks = 0;
  std::string path_ = testing::TempDir() + "/c-api-card-" + std::to_string(getpid()) + ".json";
};

TEST_F(CApiTest, WholeCycleWritesExactlyWhatWasAskedFor) {
  ASSERT_TRUE(OpenAndPoll());
  EXPECT_EQ(idm, (std::array<std::uint8_t, 8>{0x01, 0x12, 0x04, 0x1E, 0x5A, 0x3C, 0x7D, 0x01}));
  EXPECT_EQ(pmm, (std::array<std::uint8_t, 8>{0x01, 0x20, 0x22, 0x04, 0x27, 0x67, 0x4E, 0xFF}));
  // The first and last byte of the last block each read asks for, in the demo card.
  const std::tuple<std::uint16_t, int, std::uint8_t, std::uint8_t> reads[] = {
      {0x020B, 3, 0x00, 0x00}, {0x0417, 2, 0x00, 0x00}, {0x060F, 20, 0x01, 0x10}};
  for (const auto& [service, blocks, first, last] : reads) {
    ASSERT_TRUE(Read(service, blocks)) << service;
    EXPECT_EQ(data[16 * (blocks - 1)], first) << service;
    EXPECT_EQ(data[16 * blocks - 1], last) << service;
    for (std::size_t i = 16 * blocks; i < data.size(); ++i) ASSERT_EQ(data[i], 0xEE) << "byte " << i;
    EXPECT_EQ((std::array{flag1, flag2, resultBlocks}), (std::array<std::uint8_t, 3>{0, 0, static_cast<std::uint8_t>(blocks)}));
  }
  EXPECT_TRUE(close_reader_writer());
  EXPECT_TRUE(dispose_library());
  EXPECT_EQ(LastErrors().rw, FELICA_RW_OK);
}

TEST_F(CApiTest, FailuresGiveTheirNumbers) {
  ASSERT_TRUE(OpenAndPoll());
  EXPECT_FALSE(Read(0x1234, 1));  // a service the card lacks: the card's status flags
  EXPECT_EQ((std::array{flag1, flag2, resultBlocks, data[0]}), (std::array<std::uint8_t, 4>{0x01, 0xA6, 0, 0xEE}));
  EXPECT_EQ(LastErrors().felica, 0x01A6);
  EXPECT_EQ(LastErrors().rw, FELICA_RW_CARD_ERROR);

  EXPECT_FALSE(read_block_without_encryption(nullptr, nullptr));
  EXPECT_EQ(LastErrors().rw, FELICA_RW_INVALID_ARGUMENT);
  std::uint8_t cards = 0;
  EXPECT_FALSE(polling_and_get_card_information(nullptr, &cards, nullptr));
  EXPECT_EQ(LastErrors().rw, FELICA_RW_INVALID_ARGUMENT);
  std::array<std::uint8_t, 2> services{0x0B, 0x02};
  std::array<std::uint8_t, 4> list{0x81, 0x00, 0x80, 0x01};  // service index 1 of a one-service list
  ReadBlockRequest request{idm.data(), 1, services.data(), 2, list.data()};
  ReadBlockResponse response{&flag1, &flag2, &resultBlocks, data.data()};
  EXPECT_FALSE(read_block_without_encryption(&request, &response));
  EXPECT_EQ(LastErrors().rw, FELICA_RW_INVALID_ARGUMENT);
  EXPECT_TRUE(get_last_error_types(nullptr, nullptr));

  Use(R"({"tagId": "0112041e5a3c7d01", "felica": {"systems": {"11": {}}}, "readerSimulation": {"noCard": true}})");
  EXPECT_FALSE(OpenAndPoll());
  EXPECT_EQ(LastErrors().rw, FELICA_RW_NO_CARD);
}

TEST_F(CApiTest, CallsOutOfOrderFailWithoutHarm) {
  dispose_library();
  EXPECT_FALSE(open_reader_writer_auto());
  EXPECT_EQ(LastErrors().rw, FELICA_RW_NOT_INITIALIZED);
  EXPECT_FALSE(close_reader_writer());
  EXPECT_FALSE(dispose_library());
  ASSERT_TRUE(initialize_library());
  EXPECT_FALSE(Read(0x020B, 1));
  EXPECT_EQ(LastErrors().rw, FELICA_RW_NOT_OPEN);
  ASSERT_TRUE(OpenAndPoll());
  ASSERT_TRUE(initialize_library());  // again, as after a failed close: no reader is left open
  EXPECT_FALSE(Read(0x020B, 1));
  EXPECT_EQ(LastErrors().rw, FELICA_RW_NOT_OPEN);
}

struct OpenCase {
  const char* name;
  const char* felicaReader;  // nullptr: unset
  const char* image;         // written to a file that FELICA_READER names
  std::int32_t rwError;
  const char* lineMentions;
};

void PrintTo(const OpenCase& c, std::ostream* os) { *os << c.name; }

class OpenFailureTest : public CApiTest, public testing::WithParamInterface<OpenCase> {};

TEST_P(OpenFailureTest, FailsWithOneDiagnosticLine) {
  if (GetParam().image) Use(GetParam().image);
  if (GetParam().felicaReader) setenv("FELICA_READER", GetParam().felicaReader, 1);
  if (!GetParam().felicaReader && !GetParam().image) unsetenv("FELICA_READER");
  ASSERT_TRUE(initialize_library());
  testing::internal::CaptureStderr();
  EXPECT_FALSE(open_reader_writer_auto());
  const std::string lines = testing::internal::GetCapturedStderr();
  EXPECT_EQ(LastErrors().rw, GetParam().rwError);
  EXPECT_NE(lines.find(GetParam().lineMentions), std::string::npos) << lines;
  EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 1) << lines;
}

INSTANTIATE_TEST_SUITE_P(
    Choices, OpenFailureTest,
    testing::Values(
        OpenCase{"MissingImage", "sim:/nonexistent/card.json", nullptr, FELICA_RW_BAD_CONFIGURATION, "card image /nonexistent/card.json: cannot be opened"},
        OpenCase{"XmlImage", nullptr, "<card/>", FELICA_RW_BAD_CONFIGURATION, ".json: an XML export; only JSON exports are read"},
        OpenCase{"SimWithoutPath", "sim:", nullptr, FELICA_RW_BAD_CONFIGURATION, "needs a card image path"},
        OpenCase{"UnknownKind", "bluetooth", nullptr, FELICA_RW_BAD_CONFIGURATION, "expected sim:PATH"},
        OpenCase{"UnsetNeverSimulates", nullptr, nullptr, FELICA_RW_NO_READER, "no reader found"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
