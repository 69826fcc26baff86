// PN53x readers through the real libnfc: our PN532 emulator on a
// pseudo-terminal, reached as pn532_uart:/dev/pts/N.
#include <gtest/gtest.h>

#include <QLabel>
#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "Form1.h"
#include "pn532/Pn532Emulator.h"
#include "support/ReaderPathChecks.h"

namespace {

using namespace std::chrono;
using emulator::Pn532Emulator;

sim::CardImage Sample(const std::string& name) { return testsupport::LoadSampleCard(name); }

class LibnfcTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { setenv("LIBNFC_AUTO_SCAN", "false", 1); }
  void Attach(std::optional<sim::CardImage> card, bool silent = false) {
    pn532 = std::make_unique<Pn532Emulator>(std::move(card), silent);
    setenv("FELICA_READER", ("libnfc:" + pn532->Connstring()).c_str(), 1);
  }
  milliseconds TimedPress() {
    const auto start = steady_clock::now();
    form.Command_Click();
    return duration_cast<milliseconds>(steady_clock::now() - start);
  }
  std::unique_ptr<Pn532Emulator> pn532;
  Form1 form;
};

TEST_F(LibnfcTest, EverySampleReadsAsThroughTheSimulatedReader) {
  testsupport::ExpectEverySampleReadsAsThroughTheSimulatedReader([this](sim::CardImage card) { Attach(card); });
}

TEST_F(LibnfcTest, UsesInListPassiveTargetAndExchangesFrames) {
  Attach(Sample("demo-card.json"));
  form.Command_Click();
  ASSERT_EQ(form.Message->text(), "");
  const auto commands = pn532->Commands();
  EXPECT_NE(std::find(commands.begin(), commands.end(), 0x4A), commands.end());
  const auto exchanges = std::count_if(commands.begin(), commands.end(), [](auto c) { return c == 0x40 || c == 0x42; });
  EXPECT_EQ(exchanges, 4);  // pass, purse, and history in 12 + 8
}

TEST_F(LibnfcTest, SplitsAtTheCardsLimit) {
  testsupport::ExpectWholeReadsAtBlockLimits(form, [this](sim::CardImage card) { Attach(card); });
}

TEST_F(LibnfcTest, NoCardEndsWithinHalfASecond) {
  Attach(std::nullopt);
  EXPECT_LT(TimedPress(), milliseconds(500));
  EXPECT_EQ(form.Message->text(), "Q.A.V.O.カードをパソリにおいてください。");
}

TEST_F(LibnfcTest, CardRemovedBetweenChunksIsAReadError) {
  auto card = Sample("demo-card.json");
  card.settings.removeAfterCommands = 4;
  Attach(card);
  form.Command_Click();
  EXPECT_EQ(form.Message->text(), "読み込みエラーです。");
  EXPECT_EQ(form.Debt->text(), "不足金額　　：00,000円");
  EXPECT_EQ(form.History[0]->text(), "------");
}

TEST_F(LibnfcTest, SlowCardIsAReadErrorWithinABound) {
  auto card = Sample("demo-card.json");
  card.settings.responseDelayMs = 3000;
  Attach(card);
  EXPECT_LT(TimedPress(), milliseconds(2000));
  EXPECT_EQ(form.Message->text(), "読み込みエラーです。");
}

TEST_F(LibnfcTest, SilentChipFailsTheOpenWithinTwoSeconds) {
  Attach(Sample("demo-card.json"), /*silent=*/true);
  EXPECT_LT(TimedPress(), milliseconds(2000));
  EXPECT_EQ(form.Message->text(), "パソリが見つかりません。");
}

TEST_F(LibnfcTest, MissingDeviceFailsTheOpen) {
  setenv("FELICA_READER", "libnfc:pn532_uart:/dev/nonexistent-tty", 1);
  EXPECT_LT(TimedPress(), milliseconds(2000));
  EXPECT_EQ(form.Message->text(), "パソリが見つかりません。");
}

TEST_F(LibnfcTest, TwoHundredPressesInARow) {
  Attach(Sample("demo-card.json"));
  for (int press = 0; press < 200; ++press) {
    form.Command_Click();
    ASSERT_EQ(form.Message->text(), "") << "press " << press;
  }
}

}  // namespace
