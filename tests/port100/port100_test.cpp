// The RC-S380 layer against the emulator: set-up, framing faults, and
// whole presses of the window with the emulator standing in for the device.
#include <gtest/gtest.h>

#include <QLabel>
#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "Form1.h"
#include "Port100Transport.h"
#include "ReaderChoice.h"
#include "port100/Port100Emulator.h"
#include "support/ReaderPathChecks.h"

namespace {

using namespace std::chrono;
using emulator::Faults;
using emulator::Port100Emulator;

using testsupport::LoadSampleCard;

TEST(Port100Chip, SetsTheChipUpInOrder) {
  auto link = std::make_unique<Port100Emulator>(std::nullopt, Faults{});
  auto* emulator = link.get();
  port100::Port100Chip chip(std::move(link));
  ASSERT_EQ(chip.Initialize().status, port100::ChipStatus::Ok);
  std::vector<int> commands;
  for (const auto& received : emulator->Commands()) commands.push_back(received.command);
  EXPECT_EQ(commands, (std::vector<int>{0x2A, 0x20, 0x06, 0x00, 0x02, 0x02}));
  EXPECT_EQ(emulator->Commands()[3].parameters, (felica::Bytes{0x01, 0x01, 0x0F, 0x01}));
}

TEST(Port100Chip, InCommRFCarriesTheTimeoutInTenthsOfAMillisecond) {
  auto link = std::make_unique<Port100Emulator>(LoadSampleCard("demo-card.json"), Faults{});
  auto* emulator = link.get();
  port100::Port100Chip chip(std::move(link));
  ASSERT_EQ(chip.Initialize().status, port100::ChipStatus::Ok);
  const std::uint8_t polling[] = {0x06, 0x00, 0x00, 0x0B, 0x00, 0x00};
  const auto answer = chip.CommunicateRF(polling, milliseconds(60));
  ASSERT_EQ(answer.status, port100::ChipStatus::Ok) << answer.detail;
  EXPECT_EQ(answer.data.size(), 18u);
  EXPECT_EQ(answer.data[1], 0x01);
  const auto& sent = emulator->Commands().back();
  EXPECT_EQ(sent.command, 0x04);
  EXPECT_EQ(sent.parameters, (felica::Bytes{0x58, 0x02, 0x06, 0x00, 0x00, 0x0B, 0x00, 0x00}));  // 600 units
}

template <typename Set>
Faults With(Set set) {
  Faults faults;
  set(faults);
  return faults;
}

struct OpenFaultCase {
  const char* name;
  Faults faults;
  bool opens;
};

void PrintTo(const OpenFaultCase& c, std::ostream* os) { *os << c.name; }

class Port100OpenTest : public testing::TestWithParam<OpenFaultCase> {};

TEST_P(Port100OpenTest, OpensOrFailsWithinABound) {
  const auto start = steady_clock::now();
  auto opened = port100::OpenOverLink(std::make_unique<Port100Emulator>(std::nullopt, GetParam().faults));
  EXPECT_LT(steady_clock::now() - start, milliseconds(500));
  EXPECT_EQ(opened.transport != nullptr, GetParam().opens) << opened.diagnostic;
  if (!GetParam().opens) {
    EXPECT_FALSE(opened.diagnostic.empty());
  }
  opened.transport.reset();
  EXPECT_EQ(Port100Emulator::Alive(), 0);
}

INSTANTIATE_TEST_SUITE_P(Faults, Port100OpenTest,
                         testing::Values(OpenFaultCase{"Healthy", Faults{}, true},
                                         OpenFaultCase{"StaleFramesAreDrained", With([](Faults& f) { f.staleFrames = 3; }), true},
                                         OpenFaultCase{"FirmwareSilent", With([](Faults& f) { f.silent = true; }), false},
                                         OpenFaultCase{"BadChecksum", With([](Faults& f) { f.badChecksum = true; }), false},
                                         OpenFaultCase{"ShortFrames", With([](Faults& f) { f.shortFrames = true; }), false},
                                         OpenFaultCase{"UnpluggedAtOnce", With([](Faults& f) { f.unplugAfterTransfers = 0; }), false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Port100Open, SilentFirmwareIsNamedInTheDiagnostic) {
  auto opened = port100::OpenOverLink(std::make_unique<Port100Emulator>(std::nullopt, With([](Faults& f) { f.silent = true; })));
  EXPECT_NE(opened.diagnostic.find("firmware does not answer"), std::string::npos) << opened.diagnostic;
}

// The window's presses reach the emulator through the port100 driver entry.
struct EmulatedDevice {
  static inline std::optional<sim::CardImage> card;
  static inline Faults faults;
  static reader::OpenResult Open(std::string_view) {
    return port100::OpenOverLink(std::make_unique<Port100Emulator>(card, faults));
  }
};

class Port100PressTest : public testing::Test {
 protected:
  void SetUp() override {
    reader::ReplaceDriverForTesting({"port100", EmulatedDevice::Open});
    setenv("FELICA_READER", "port100", 1);
    EmulatedDevice::faults = {};
  }
  void UseCard(const char* sample) { EmulatedDevice::card = LoadSampleCard(sample); }
  static void Attach(sim::CardImage card) {
    EmulatedDevice::card = std::move(card);
    setenv("FELICA_READER", "port100", 1);
  }
  Form1 form;
};

TEST_F(Port100PressTest, EverySampleReadsAsThroughTheSimulatedReader) {
  testsupport::ExpectEverySampleReadsAsThroughTheSimulatedReader(Attach);
  EXPECT_EQ(Port100Emulator::Alive(), 0);
}

TEST_F(Port100PressTest, SplitsAtTheCardsLimit) { testsupport::ExpectWholeReadsAtBlockLimits(form, Attach); }

TEST_F(Port100PressTest, NoCardEndsQuicklyWithThePollingText) {
  EmulatedDevice::card.reset();
  const auto start = steady_clock::now();
  form.Command_Click();
  EXPECT_LT(steady_clock::now() - start, milliseconds(500));
  EXPECT_EQ(form.Message->text(), "Q.A.V.O.カードをパソリにおいてください。");
  EXPECT_EQ(Port100Emulator::Alive(), 0);
}

TEST_F(Port100PressTest, CardRemovedBetweenChunksIsAReadError) {
  UseCard("demo-card.json");
  EmulatedDevice::card->settings.removeAfterCommands = 4;  // polling, pass, purse, first history chunk
  form.Command_Click();
  EXPECT_EQ(form.Message->text(), "読み込みエラーです。");
  EXPECT_EQ(form.ChargeLeft->text(), "チャージ残高：03,450円");
  EXPECT_EQ(form.History[0]->text(), "------");
  EXPECT_EQ(Port100Emulator::Alive(), 0);
}

TEST_F(Port100PressTest, ReaderPulledOutMidPressIsAReadErrorAndLeavesNothingOpen) {
  UseCard("demo-card.json");
  // Set-up takes 20 transfers (ACK, one drain read, 6 commands of write, ACK
  // and response), polling 3 more; the pass read's write is the last to arrive.
  EmulatedDevice::faults.unplugAfterTransfers = 20 + 3 + 1;
  const auto start = steady_clock::now();
  form.Command_Click();
  EXPECT_LT(steady_clock::now() - start, milliseconds(500));
  EXPECT_EQ(form.Message->text(), "読み込みエラーです。");
  EXPECT_EQ(Port100Emulator::Alive(), 0);
}

TEST_F(Port100PressTest, SilentReaderShowsTheMissingReaderText) {
  EmulatedDevice::faults.silent = true;
  form.Command_Click();
  EXPECT_EQ(form.Message->text(), "パソリが見つかりません。");
}

TEST_F(Port100PressTest, TwoHundredPressesLeaveNothingBehind) {
  UseCard("demo-card.json");
  for (int press = 0; press < 200; ++press) {
    form.Command_Click();
    ASSERT_EQ(form.Message->text(), "") << "press " << press;
  }
  EXPECT_EQ(Port100Emulator::Alive(), 0);
}

}  // namespace
