// One table of presses, run against every reader path: the window's READ
// through the library, the reader's third-party stack and an emulated reader.
#include <gtest/gtest.h>

#include <QLabel>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include <unistd.h>

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
  // Put back, the card reads whole: the failed read left nothing in the way.
  EXPECT_EQ(PressWith(std::make_shared<FelicaCard>(DemoCard())).fields, Expected());
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

// The samples and Metrodroid's export shapes through the simulated reader, word for word.
TEST(SamplePress, DemoCardAsEveryShapeOfExportShowsTheSameTexts) {
  Form1 form;
  setenv("FELICA_READER", "sim:" QAVO_SAMPLES_DIR "/demo-card.json", 1);
  form.Command_Click();
  const auto fields = testsupport::AllFields(form);
  EXPECT_EQ(fields.at("Message"), "");
  EXPECT_EQ(fields.at("PassDate"), "定期券発券日：2026年10月01日");
  EXPECT_EQ(fields.at("PassArea"), "定期券区間　：南北線/麻生　　　　　～南北線/大通　　　　　");
  EXPECT_EQ(fields.at("PassLimit"), "定期券期間　：2026年10月01日～2027年03月31日");
  EXPECT_EQ(fields.at("ChargeLeft"), "チャージ残高：03,450円");
  EXPECT_EQ(fields.at("Debt"), "不足金額　　：00,000円");
  EXPECT_EQ(fields.at("History(0)"), "  0：定期券降車/南北線/大通　　　　　/2026年11月24日08:22/使用 00,000円/残高 03,450円");
  EXPECT_EQ(fields.at("History(8)"), "  8：チャージ　/入金機/新さっぽろ南口/2026年11月12日19:25/使用 01,000円/残高 03,830円");
  EXPECT_EQ(fields.at("History(11)"), " 11：店舗購入　/店舗　/スカイルーム　/2026年11月09日12:35/使用 00,680円/残高 03,120円");
  EXPECT_EQ(fields.at("History(19)"), " 19：チャージ　/入金機/さっぽろ北口　/2026年11月02日07:58/使用 03,000円/残高 04,200円");

  // Format 3.0 (blocks lists), pMm null, felica.iDm, extra keys, a skipped system; the history's
  // blocksMap is written with its keys as text in order ("10" before "2").
  auto image = nlohmann::json::parse(std::ifstream(QAVO_SAMPLES_DIR "/demo-card.json"));
  auto& felica = image["felica"];
  felica["pMm"] = nullptr;
  felica["iDm"] = "0112041E5A3C7D01";
  felica["specificationVersion"] = 256;
  felica["systems"]["65024"] = {{"skipped", true}};
  image["label"] = "a dump";
  auto& pass = felica["systems"]["11"]["services"]["523"];
  pass = {{"blocks", {pass["blocksMap"]["0"], pass["blocksMap"]["1"], pass["blocksMap"]["2"]}}};
  const std::string path = testing::TempDir() + "/export-" + std::to_string(getpid()) + ".json";
  std::string lines;
  const auto pressOn = [&](const nlohmann::json& export_) {
    std::ofstream(path) << export_.dump();
    setenv("FELICA_READER", ("sim:" + path).c_str(), 1);
    Form1 again;
    testing::internal::CaptureStderr();
    again.Command_Click();
    lines = testing::internal::GetCapturedStderr();
    return testsupport::AllFields(again);
  };
  EXPECT_EQ(pressOn(image), fields);

  // A gap in the history, or a dump cut off before its end, fails the history read alone.
  auto gapped = image;
  gapped["felica"]["systems"]["11"]["services"]["1551"]["blocksMap"].erase("13");
  auto cut = image;
  cut["felica"]["isPartialRead"] = true;
  cut["felica"]["systems"]["11"]["services"]["1551"]["blocksMap"].erase("19");
  const std::pair<const nlohmann::json&, const char*> broken[] = {
      {gapped, "lacks block 13 of service 060F\n"}, {cut, "lacks block 19 of service 060F (the dump was cut off)\n"}};
  for (const auto& [export_, says] : broken) {
    const auto shown = pressOn(export_);
    EXPECT_EQ(shown.at("Message"), "読み込みエラーです。");
    EXPECT_EQ(shown.at("Debt"), fields.at("Debt"));
    EXPECT_EQ(shown.at("History(0)"), "------");
    EXPECT_NE(lines.find(std::string("felica_for_vb: sim: the card image ") + says + "felica error type: 0\nrw error type: 13\n"),
              std::string::npos) << lines;
  }
}

TEST(SamplePress, CardsWithoutAPassOrWithUnknownCodes) {
  Form1 form;
  const auto before = testsupport::AllFields(form);
  setenv("FELICA_READER", "sim:" QAVO_SAMPLES_DIR "/no-pass-card.json", 1);
  form.Command_Click();
  auto after = testsupport::AllFields(form);
  EXPECT_EQ(after.at("Message"), "読み込みエラーです。");
  after["Message"] = "";
  EXPECT_EQ(after, before);  // the first read failed: nothing else changed

  setenv("FELICA_READER", "sim:" QAVO_SAMPLES_DIR "/unknown-codes-card.json", 1);
  form.Command_Click();
  EXPECT_EQ(form.PassArea->text(), "定期券区間　：------/------　　　　～------/------　　　　");
  EXPECT_EQ(form.ChargeLeft->text(), "チャージ残高：65,535円");
  EXPECT_EQ(form.History[0]->text(), "  0：未定義0A0C/------/------　　　　/2026年12月01日23:59/使用 32,768円/残高 65,535円");
  EXPECT_EQ(form.History[7]->text(), "  7：地下鉄降車/------/------　　　　/2026年1A月08日23:59/使用 32,775円/残高 65,528円");
}

INSTANTIATE_TEST_SUITE_P(Local, PressTest, testing::ValuesIn(rigs::LocalRigs()),
                         [](const auto& info) { return info.param.name; });

// pcscd's socket is the system's: the PC/SC rigs run in a process of their own, one at a time.
INSTANTIATE_TEST_SUITE_P(Pcscd, PressTest, testing::ValuesIn(rigs::PcscRigs()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
