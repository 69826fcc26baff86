// The seven C functions end to end through libfelica_for_vb.so and the
// simulated card.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdlib>

#include "felica_for_vb.h"
#include "support/TempImage.h"
#include "support/TestCards.h"

namespace {

using namespace std::chrono;

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
  void TearDown() override {
    dispose_library();
    unsetenv("FELICA_READER");
  }
  void Use(const std::string& json) {
    image_ = std::make_unique<testcards::TempImage>(json);
    image_->Select();
  }
  bool OpenAndPoll() {
    std::array<std::uint8_t, 2> systemCode{0x00, 0x0B};
    PollingRecord polling{};
    polling.system_code = systemCode.data();
    CardInformationRecord info{};
    info.idm = idm.data();
    info.pmm = pmm.data();
    std::uint8_t cards = 0;
    return initialize_library() && open_reader_writer_auto() && polling_and_get_card_information(&polling, &cards, &info) &&
           cards == 1;
  }
  std::uint8_t Read(std::uint16_t service, int blocks) {
    std::array<std::uint8_t, 2> services{static_cast<std::uint8_t>(service & 0xFF), static_cast<std::uint8_t>(service >> 8)};
    std::array<std::uint8_t, 40> list{};
    for (int k = 0; k < 20; ++k) list[2 * k] = 0x80, list[2 * k + 1] = static_cast<std::uint8_t>(k);
    ReadBlockRequest request{idm.data(), 1, services.data(), static_cast<std::uint8_t>(blocks), list.data()};
    data.fill(0xEE);  // guard: what the library must not touch stays 0xEE
    flag1 = flag2 = 0x55;
    resultBlocks = 0x55;
    ReadBlockResponse response{&flag1, &flag2, &resultBlocks, data.data()};
    return read_block_without_encryption(&request, &response);
  }

  std::array<std::uint8_t, 8> idm{};
  std::array<std::uint8_t, 8> pmm{};
  std::array<std::uint8_t, 400> data{};
  std::uint8_t flag1 = 0, flag2 = 0, resultBlocks = 0;

 private:
  std::unique_ptr<testcards::TempImage> image_;
};

TEST_F(CApiTest, WholeCycleReadsExactlyTheBlocksAskedFor) {
  Use(testcards::CardJson(testcards::Card(12)));
  ASSERT_TRUE(OpenAndPoll());
  EXPECT_EQ(idm, (std::array<std::uint8_t, 8>{0x01, 0x12, 0x04, 0x1E, 0x5A, 0x3C, 0x7D, 0x01}));
  EXPECT_EQ(pmm[5], 0x67);
  for (const auto& [service, blocks] : {std::pair{0x020B, 3}, {0x0417, 2}, {0x060F, 20}}) {
    ASSERT_TRUE(Read(static_cast<std::uint16_t>(service), blocks)) << service;
    for (int k = 0; k < blocks; ++k) {
      EXPECT_EQ(data[16 * k], service & 0xFF);
      EXPECT_EQ(data[16 * k + 15], k);
    }
    for (std::size_t i = 16 * blocks; i < data.size(); ++i) ASSERT_EQ(data[i], 0xEE) << "byte " << i;
    EXPECT_EQ(flag1, 0);
    EXPECT_EQ(flag2, 0);
    EXPECT_EQ(resultBlocks, blocks);
  }
  EXPECT_TRUE(close_reader_writer());
  EXPECT_TRUE(dispose_library());
  EXPECT_EQ(LastErrors().rw, FELICA_RW_OK);
}

TEST_F(CApiTest, CardErrorReportsTheStatusFlags) {
  Use(testcards::CardJson(testcards::Card(12)));
  ASSERT_TRUE(OpenAndPoll());
  EXPECT_FALSE(Read(0x1234, 1));
  EXPECT_EQ(flag1, 0x01);
  EXPECT_EQ(flag2, 0xA6);
  EXPECT_EQ(resultBlocks, 0);
  EXPECT_EQ(data[0], 0xEE);
  const Errors errors = LastErrors();
  EXPECT_EQ(errors.felica, 0x01A6);
  EXPECT_EQ(errors.rw, FELICA_RW_CARD_ERROR);
}

TEST_F(CApiTest, NoCardFailsPollingQuickly) {
  Use(testcards::CardJson(testcards::Card(12), R"({"noCard": true})"));
  const auto start = steady_clock::now();
  EXPECT_FALSE(OpenAndPoll());
  EXPECT_LT(steady_clock::now() - start, milliseconds(500));
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
  EXPECT_FALSE(close_reader_writer());
  EXPECT_EQ(LastErrors().rw, FELICA_RW_NOT_OPEN);
}

TEST_F(CApiTest, InitialisingAgainStartsCleanWithNoReaderOpen) {
  Use(testcards::CardJson(testcards::Card(12)));
  ASSERT_TRUE(OpenAndPoll());
  ASSERT_TRUE(initialize_library());  // as after a failed close
  EXPECT_FALSE(Read(0x020B, 1));
  EXPECT_EQ(LastErrors().rw, FELICA_RW_NOT_OPEN);
  ASSERT_TRUE(OpenAndPoll());
  EXPECT_TRUE(Read(0x020B, 1));
}

TEST_F(CApiTest, NullAndOutOfRangeArgumentsAreRefused) {
  Use(testcards::CardJson(testcards::Card(12)));
  ASSERT_TRUE(OpenAndPoll());
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
  request.number_of_blocks = 0;
  EXPECT_FALSE(read_block_without_encryption(&request, &response));
  EXPECT_TRUE(get_last_error_types(nullptr, nullptr));
}

struct OpenCase {
  const char* name;
  const char* felicaReader;  // nullptr: unset
  std::int32_t rwError;
  const char* diagnosticMentions;
};

void PrintTo(const OpenCase& c, std::ostream* os) { *os << c.name; }

class OpenFailureTest : public CApiTest, public testing::WithParamInterface<OpenCase> {};

TEST_P(OpenFailureTest, FailsWithOneDiagnosticLine) {
  if (GetParam().felicaReader) {
    setenv("FELICA_READER", GetParam().felicaReader, 1);
  } else {
    unsetenv("FELICA_READER");
  }
  ASSERT_TRUE(initialize_library());
  testing::internal::CaptureStderr();
  EXPECT_FALSE(open_reader_writer_auto());
  const std::string diagnostics = testing::internal::GetCapturedStderr();
  EXPECT_EQ(LastErrors().rw, GetParam().rwError);
  EXPECT_NE(diagnostics.find(GetParam().diagnosticMentions), std::string::npos) << diagnostics;
  EXPECT_EQ(std::count(diagnostics.begin(), diagnostics.end(), '\n'), 1) << diagnostics;
}

INSTANTIATE_TEST_SUITE_P(
    Choices, OpenFailureTest,
    testing::Values(OpenCase{"BadImage", "sim:/nonexistent/card.json", FELICA_RW_BAD_CONFIGURATION,
                             "card image /nonexistent/card.json: cannot be opened"},
                    OpenCase{"SimWithoutPath", "sim:", FELICA_RW_BAD_CONFIGURATION, "needs a card image path"},
                    OpenCase{"UnknownKind", "bluetooth", FELICA_RW_BAD_CONFIGURATION, "expected sim:PATH"},
                    OpenCase{"UnsetNeverSimulates", nullptr, FELICA_RW_NO_READER, "no reader found"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CApiTest, MalformedImageNamesFileAndFault) {
  testcards::TempImage bad(R"({"felica": {"iDm": "01"}})");
  bad.Select();
  ASSERT_TRUE(initialize_library());
  testing::internal::CaptureStderr();
  EXPECT_FALSE(open_reader_writer_auto());
  const std::string diagnostics = testing::internal::GetCapturedStderr();
  EXPECT_NE(diagnostics.find(bad.Path()), std::string::npos) << diagnostics;
  EXPECT_NE(diagnostics.find("felica.iDm"), std::string::npos) << diagnostics;
}

}  // namespace
