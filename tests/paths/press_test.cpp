// One table of presses, run against every reader path: the window's READ through the library, the reader's third-party
// stack and an emulated reader whose card takes as long to answer as its PMm allows.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "Form1.h"
#include "paths/Rigs.h"
#include "support/FormFields.h"
#include "support/Hex.h"

namespace {

using namespace std::chrono;
using emulator::AcceptsAtMost;
using emulator::FelicaCard;
using emulator::LeavesAfter;

std::shared_ptr<FelicaCard> Demo(emulator::CardFaults faults = {}) {
  static const auto card = emulator::SampleCard("demo-card.json");
  return std::make_shared<FelicaCard>(card, faults);
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
  // The demo card's fields as the simulated reader shows them, some of them word for word.
  static const testsupport::Fields& Expected() {
    static const testsupport::Fields fields = [] {
      Form1 reference;
      rigs::LocalRigs().front().attach(Demo());
      reference.Command_Click();
      const auto fields = testsupport::AllFields(reference);
      EXPECT_EQ(fields.at("PassArea"), "定期券区間　：南北線/麻生　　　　　～南北線/大通　　　　　");
      EXPECT_EQ(fields.at("PassLimit"), "定期券期間　：2026年10月01日～2027年03月31日");
      EXPECT_EQ(fields.at("ChargeLeft"), "チャージ残高：03,450円");
      EXPECT_EQ(fields.at("History(0)"),
                "  0：定期券降車/南北線/大通　　　　　/2026年11月24日08:22/使用 00,000円/残高 03,450円");
      EXPECT_EQ(fields.at("History(19)"),
                " 19：チャージ　/入金機/さっぽろ北口　/2026年11月02日07:58/使用 03,000円/残高 04,200円");
      return fields;
    }();
    return fields;
  }
  Form1 form;
};

TEST_P(PressTest, ReadsTheWholeCardAtEveryBlockLimitTwiceInARowAndLeavesNoFileOpen) {
  const auto files = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
  long before = -1;  // the rig's own files counted once it has put its reader in place
  const auto start = steady_clock::now();
  for (const auto& faults : {AcceptsAtMost(15), AcceptsAtMost(8), AcceptsAtMost(1), AcceptsAtMost(8, true)}) {
    SCOPED_TRACE(testing::Message() << "limit " << faults.maxBlocksPerRead
                                    << (faults.silentAboveLimit ? ", silent" : ""));
    auto first = PressWith(Demo(faults));
    if (before < 0) before = files();
    EXPECT_EQ(first.fields, Expected()) << first.diagnostics;
    form.History[19]->setText("------");
    EXPECT_EQ(PressAgain().fields, Expected());
  }
  EXPECT_EQ(files(), before);
  std::printf("%s: %.1f ms a press\n", GetParam().name.c_str(),
              duration<double, std::milli>(steady_clock::now() - start).count() / 8);
}

TEST_P(PressTest, CardAtItsSlowestIsReadInTheFewestCommandsAndItsTraceShowsNeitherTheIdmNorABlock) {
  // Polling and four reads (3, 2, 12 + 8 blocks): a card time cut below what
  // the PMm allows costs more commands than the card stays for.
  setenv("FELICA_TRACE", "1", 1);
  const auto press = PressWith(Demo(LeavesAfter(5)));
  unsetenv("FELICA_TRACE");
  EXPECT_EQ(press.fields, Expected()) << press.diagnostics;
  EXPECT_NE(press.diagnostics.find(" ms frame <- 1201****************"), std::string::npos) << press.diagnostics;
  // One polling in a transparent session (95 06 06 00): a field that must settle after its cycle costs none.
  EXPECT_EQ(press.diagnostics.find("95060600"), press.diagnostics.rfind("95060600")) << press.diagnostics;
  const auto card = emulator::SampleCard("demo-card.json");
  std::vector<std::string> secrets{testsupport::HexOf(card.idm)};
  for (const auto& [service, blocks] : card.services) {
    for (const auto& block : blocks) secrets.push_back(testsupport::HexOf(block));
  }
  for (const auto& secret : secrets) EXPECT_EQ(press.diagnostics.find(secret), std::string::npos) << secret;
}

TEST_P(PressTest, NoCardShowsThePollingTextWithinHalfASecond) {
  const auto press = PressWith(nullptr);
  EXPECT_LT(press.took, milliseconds(500));
  EXPECT_EQ(press.fields.at("Message"), "Q.A.V.O.カードをパソリにおいてください。") << press.diagnostics;
  EXPECT_NE(press.diagnostics.find("rw error type: 5\n"), std::string::npos) << press.diagnostics;
}

TEST_P(PressTest, CardTakenAwayAfterThePassIsAReadErrorWithCardLost) {
  // It answers polling and the pass read, then leaves the field.
  const auto press = PressWith(Demo(LeavesAfter(2)));
  EXPECT_EQ(press.fields.at("Message"), "読み込みエラーです。");
  EXPECT_EQ(press.fields.at("PassDate"), Expected().at("PassDate"));
  EXPECT_EQ(press.fields.at("ChargeLeft"), "チャージ残高：");
  EXPECT_NE(press.diagnostics.find("rw error type: 8\n"), std::string::npos) << press.diagnostics;
  // Put back, the card reads whole: the failed read left nothing in the way.
  EXPECT_EQ(PressWith(Demo()).fields, Expected());
}

INSTANTIATE_TEST_SUITE_P(Local, PressTest, testing::ValuesIn(rigs::LocalRigs()),
                         [](const auto& info) { return info.param.name; });
INSTANTIATE_TEST_SUITE_P(Pcscd, PressTest, testing::ValuesIn(rigs::PcscRigs()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
