// PC/SC readers through the real pcscd: our virtual reader behind
// vsmartcard's vpcd driver, in a pcscd started for these tests.
#include <gtest/gtest.h>

#include <QLabel>
#include <chrono>
#include <cstdlib>
#include <filesystem>

#include <PCSC/winscard.h>

#include "Form1.h"
#include "PcscTransport.h"
#include "pcsc/PcscdFixture.h"
#include "pcsc/VirtualFelicaCard.h"
#include "support/ReaderPathChecks.h"

namespace {

using namespace std::chrono;
using emulator::VirtualFaults;
using emulator::VirtualFelicaCard;

sim::CardImage Sample(const std::string& name) { return testsupport::LoadSampleCard(name); }

emulator::Pcscd* daemon = nullptr;

class PcscTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { daemon = new emulator::Pcscd; }
  static void TearDownTestSuite() {
    delete daemon;
    daemon = nullptr;
  }
  void SetUp() override {
    if (!daemon->Running()) {
      // On a developer's desktop a running pcscd is normal; in CI it is a fault.
      if (std::getenv("CI")) FAIL() << daemon->Problem();
      GTEST_SKIP() << daemon->Problem();
    }
    setenv("FELICA_READER", "pcsc", 1);
  }
  void TearDown() override {
    card.reset();
    if (daemon->Running()) daemon->WaitForCard(false);
  }
  void Place(sim::CardImage image, VirtualFaults faults = {}) {
    card.reset();
    daemon->WaitForCard(false);
    card = std::make_unique<VirtualFelicaCard>(daemon->CardPort(), std::move(image), faults);
    ASSERT_TRUE(card->Connected());
    ASSERT_TRUE(daemon->WaitForCard(true));
  }
  void Attach(sim::CardImage image) {
    Place(std::move(image));
    setenv("FELICA_READER", "pcsc", 1);
  }
  milliseconds TimedPress() {
    const auto start = steady_clock::now();
    form.Command_Click();
    return duration_cast<milliseconds>(steady_clock::now() - start);
  }
  std::unique_ptr<VirtualFelicaCard> card;
  Form1 form;
};

TEST_F(PcscTest, EverySampleReadsAsThroughTheSimulatedReader) {
  testsupport::ExpectEverySampleReadsAsThroughTheSimulatedReader([this](sim::CardImage image) { Attach(image); });
}

TEST_F(PcscTest, ReaderChosenByName) {
  Place(Sample("demo-card.json"));
  setenv("FELICA_READER", ("pcsc:" + daemon->ReaderName()).c_str(), 1);
  form.Command_Click();
  EXPECT_EQ(form.Message->text(), "");
  setenv("FELICA_READER", "pcsc:No Such Reader", 1);
  form.Command_Click();
  EXPECT_EQ(form.Message->text(), "パソリが見つかりません。");
}

TEST_F(PcscTest, SplitsAtTheCardsLimit) {
  testsupport::ExpectWholeReadsAtBlockLimits(form, [this](sim::CardImage image) { Attach(image); });
}

TEST_F(PcscTest, NoCardEndsWithinHalfASecond) {
  EXPECT_LT(TimedPress(), milliseconds(500));
  EXPECT_EQ(form.Message->text(), "Q.A.V.O.カードをパソリにおいてください。");
}

TEST_F(PcscTest, CardRemovedMidReadIsAReadError) {
  // GET DATA, start session, switch protocol, polling, pass, purse; then it leaves.
  Place(Sample("demo-card.json"), VirtualFaults{.disconnectAfterApdus = 6, .emptyAnswerAfterApdus = {}});
  EXPECT_LT(TimedPress(), milliseconds(2000));
  EXPECT_EQ(form.Message->text(), "読み込みエラーです。");
  EXPECT_EQ(form.ChargeLeft->text(), "チャージ残高：03,450円");
  EXPECT_EQ(form.History[0]->text(), "------");
}

TEST_F(PcscTest, AnswerShorterThanAStatusWordIsCardLost) {
  Place(Sample("demo-card.json"), VirtualFaults{.disconnectAfterApdus = {}, .emptyAnswerAfterApdus = 5});
  testing::internal::CaptureStderr();
  form.Command_Click();
  const std::string diagnostics = testing::internal::GetCapturedStderr();
  EXPECT_EQ(form.Message->text(), "読み込みエラーです。");
  EXPECT_NE(diagnostics.find("rw error type: 8"), std::string::npos) << diagnostics;  // card lost
}

TEST_F(PcscTest, TwoHundredPressesInARow) {
  Place(Sample("demo-card.json"));
  for (int press = 0; press < 200; ++press) {
    form.Command_Click();
    ASSERT_EQ(form.Message->text(), "") << "press " << press;
  }
}

TEST_F(PcscTest, ReconnectsAfterAnotherApplicationResetsTheCard) {
  Place(Sample("demo-card.json"));
  auto opened = pcsc::Open("");
  ASSERT_TRUE(opened.transport) << opened.diagnostic;
  const std::uint8_t polling[] = {0x06, 0x00, 0x00, 0x0B, 0x00, 0x00};
  ASSERT_EQ(opened.transport->Poll(polling, milliseconds(100)).status, reader::TransportStatus::Ok);

  SCARDCONTEXT context = 0;
  ASSERT_EQ(SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context), SCARD_S_SUCCESS);
  SCARDHANDLE other = 0;
  DWORD protocol = 0;
  ASSERT_EQ(SCardConnect(context, daemon->ReaderName().c_str(), SCARD_SHARE_SHARED,
                         SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &other, &protocol), SCARD_S_SUCCESS);
  EXPECT_EQ(SCardReconnect(other, SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, SCARD_RESET_CARD,
                           &protocol), SCARD_S_SUCCESS);
  SCardDisconnect(other, SCARD_LEAVE_CARD);
  SCardReleaseContext(context);

  const auto answer = opened.transport->Exchange(polling, milliseconds(100));
  EXPECT_EQ(answer.status, reader::TransportStatus::Ok) << answer.detail;
  EXPECT_EQ(answer.frame.size(), 18u);
}

// Last: it stops the daemon.
TEST_F(PcscTest, ZZ_PcscdAbsentShowsTheMissingReaderText) {
  daemon->Stop();
  EXPECT_LT(TimedPress(), milliseconds(2000));
  EXPECT_EQ(form.Message->text(), "パソリが見つかりません。");
}

}  // namespace
