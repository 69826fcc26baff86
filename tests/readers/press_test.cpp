// One table of presses, run against every reader path: the window's READ
// through the library, the reader's third-party stack and an emulated reader.
#include <gtest/gtest.h>

#include <QLabel>
#include <chrono>
#include <filesystem>

#include "Form1.h"
#include "readers/Rigs.h"
#include "support/FormFields.h"

namespace {

using namespace std::chrono;
using emulator::AcceptsAtMost;
using emulator::CardFaults;
using emulator::LeavesAfter;
using emulator::FelicaCard;

const emulator::CardContent& DemoCard() {
  static const auto card = emulator::SampleCard("demo-card.json");
  return card;
}

int OpenFileDescriptors() {
  return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), std::filesystem::directory_iterator()));
}

struct Press {
  testsupport::Fields fields;
  std::string diagnostics;
  milliseconds took;
};

class PressTest : public testing::TestWithParam<rigs::Rig> {
 protected:
  Press PressWith(std::shared_ptr<FelicaCard> card) {
    GetParam().attach(std::move(card));
    return PressAgain();
  }
  Press PressAgain() {
    testing::internal::CaptureStderr();
    const auto start = steady_clock::now();
    form.Command_Click();
    const auto took = duration_cast<milliseconds>(steady_clock::now() - start);
    return {testsupport::AllFields(form), testing::internal::GetCapturedStderr(), took};
  }
  // The demo card's fields as the simulated reader shows them (checked word for word elsewhere).
  static const testsupport::Fields& Expected() {
    static const testsupport::Fields fields = [] {
      Form1 reference;
      rigs::LocalRigs().front().attach(std::make_shared<FelicaCard>(DemoCard()));
      reference.Command_Click();
      return testsupport::AllFields(reference);
    }();
    return fields;
  }
  Form1 form;
};

TEST_P(PressTest, ReadsTheWholeCardAtEveryBlockLimitTwiceInARow) {
  const auto expected = Expected();
  for (int limit : {15, 8, 1}) {
    SCOPED_TRACE("limit " + std::to_string(limit));
    auto first = PressWith(std::make_shared<FelicaCard>(DemoCard(), AcceptsAtMost(limit)));
    EXPECT_EQ(first.fields, expected) << first.diagnostics;
    form.History[19]->setText("------");
    EXPECT_EQ(PressAgain().fields, expected);
  }
}

TEST_P(PressTest, NoCardShowsThePollingTextWithinHalfASecond) {
  const auto press = PressWith(nullptr);
  EXPECT_LT(press.took, milliseconds(500));
  EXPECT_EQ(press.fields.at("Message"), "Q.A.V.O.カードをパソリにおいてください。") << press.diagnostics;
  EXPECT_NE(press.diagnostics.find("rw error type: 5\n"), std::string::npos) << press.diagnostics;
}

TEST_P(PressTest, CardTakenAwayAfterThePassIsAReadErrorWithCardLost) {
  // It answers polling and the pass read, then leaves the field.
  const auto press = PressWith(std::make_shared<FelicaCard>(DemoCard(), LeavesAfter(2)));
  EXPECT_EQ(press.fields.at("Message"), "読み込みエラーです。");
  EXPECT_EQ(press.fields.at("PassDate"), Expected().at("PassDate"));
  EXPECT_EQ(press.fields.at("ChargeLeft"), "チャージ残高：");
  EXPECT_NE(press.diagnostics.find("rw error type: 8\n"), std::string::npos) << press.diagnostics;
}

TEST_P(PressTest, CardSilentAboveEightBlocksIsReadInSmallerSteps) {
  const auto press =
      PressWith(std::make_shared<FelicaCard>(DemoCard(), AcceptsAtMost(8, true)));
  EXPECT_EQ(press.fields, Expected()) << press.diagnostics;
}

TEST_P(PressTest, TwoHundredPressesLeaveNoFileOpen) {
  GetParam().attach(std::make_shared<FelicaCard>(DemoCard()));
  form.Command_Click();
  const int before = OpenFileDescriptors();
  const auto start = steady_clock::now();
  for (int press = 0; press < 200; ++press) {
    form.Command_Click();
    ASSERT_EQ(form.Message->text(), "") << "press " << press;
  }
  EXPECT_EQ(OpenFileDescriptors(), before);
  std::printf("%s: %.1f ms a press\n", GetParam().name.c_str(),
              duration<double, std::milli>(steady_clock::now() - start).count() / 200);
}

INSTANTIATE_TEST_SUITE_P(Local, PressTest, testing::ValuesIn(rigs::LocalRigs()),
                         [](const auto& info) { return info.param.name; });

// pcscd's socket is the system's: the PC/SC rigs run in a process of their own, one at a time.
INSTANTIATE_TEST_SUITE_P(Pcscd, PressTest, testing::ValuesIn(rigs::PcscRigs()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
