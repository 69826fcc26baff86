// A full press of the window on every sample card, through our reader
// library and the simulated reader.
#include <gtest/gtest.h>

#include <QLabel>
#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "Form1.h"
#include "support/FormFields.h"

namespace {

void UseSample(const char* name) {
  setenv("FELICA_READER", (std::string("sim:") + QAVO_SAMPLES_DIR + "/" + name).c_str(), 1);
}

TEST(SamplePress, DemoCardFillsEveryField) {
  UseSample("demo-card.json");
  Form1 form;
  form.Message->setText("stale");
  form.Command_Click();
  EXPECT_EQ(form.Message->text(), "");
  EXPECT_EQ(form.PassDate->text(), "定期券発券日：2026年10月01日");
  EXPECT_EQ(form.PassArea->text(), "定期券区間　：南北線/麻生　　　　　～南北線/大通　　　　　");
  EXPECT_EQ(form.PassLimit->text(), "定期券期間　：2026年10月01日～2027年03月31日");
  EXPECT_EQ(form.ChargeLeft->text(), "チャージ残高：03,450円");
  EXPECT_EQ(form.Debt->text(), "不足金額　　：00,000円");
  EXPECT_EQ(form.History[0]->text(), "  0：定期券降車/南北線/大通　　　　　/2026年11月24日08:22/使用 00,000円/残高 03,450円");
  EXPECT_EQ(form.History[8]->text(), "  8：チャージ　/入金機/新さっぽろ南口/2026年11月12日19:25/使用 01,000円/残高 03,830円");
  EXPECT_EQ(form.History[11]->text(), " 11：店舗購入　/店舗　/スカイルーム　/2026年11月09日12:35/使用 00,680円/残高 03,120円");
  EXPECT_EQ(form.History[19]->text(), " 19：チャージ　/入金機/さっぽろ北口　/2026年11月02日07:58/使用 03,000円/残高 04,200円");
}

TEST(SamplePress, CardWithoutPassFailsTheFirstReadAndChangesNothingElse) {
  UseSample("no-pass-card.json");
  Form1 form;
  const auto before = testsupport::AllFields(form);
  form.Command_Click();
  EXPECT_EQ(form.Message->text(), "読み込みエラーです。");
  for (const auto& [name, text] : testsupport::AllFields(form)) {
    if (name != "Message") {
      EXPECT_EQ(text, before.at(name)) << name.toStdString();
    }
  }
}

TEST(SamplePress, UnknownCodesShowPlaceholders) {
  UseSample("unknown-codes-card.json");
  Form1 form;
  form.Command_Click();
  EXPECT_EQ(form.Message->text(), "");
  EXPECT_EQ(form.PassArea->text(), "定期券区間　：------/------　　　　～------/------　　　　");
  EXPECT_EQ(form.ChargeLeft->text(), "チャージ残高：65,535円");
  EXPECT_EQ(form.Debt->text(), "不足金額　　：32,768円");
  EXPECT_EQ(form.History[0]->text(), "  0：未定義0A0C/------/------　　　　/2026年12月01日23:59/使用 32,768円/残高 65,535円");
  EXPECT_EQ(form.History[7]->text(), "  7：地下鉄降車/------/------　　　　/2026年1A月08日23:59/使用 32,775円/残高 65,528円");
  EXPECT_EQ(form.History[3]->text(), "  3：未定義1234/------/------　　　　/2026年12月04日23:59/使用 32,771円/残高 65,532円");
}

TEST(SamplePress, EverySampleLoads) {
  for (const auto& entry : std::filesystem::directory_iterator(QAVO_SAMPLES_DIR)) {
    if (entry.path().extension() != ".json") continue;
    UseSample(entry.path().filename().c_str());
    Form1 form;
    form.Command_Click();
    EXPECT_NE(form.Message->text(), "パソリが見つかりません。") << entry.path();
    EXPECT_NE(form.Message->text(), "Q.A.V.O.カードをパソリにおいてください。") << entry.path();
  }
}

TEST(SamplePress, NoReaderShowsTheMissingReaderText) {
  unsetenv("FELICA_READER");
  Form1 form;
  form.Command_Click();
  EXPECT_EQ(form.Message->text(), "パソリが見つかりません。");
}

int OpenFileDescriptors() {
  return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                        std::filesystem::directory_iterator()));
}

TEST(SamplePress, ThousandPressesInARowLeaveNothingBehind) {
  UseSample("demo-card.json");
  Form1 form;
  form.Command_Click();
  const int fds = OpenFileDescriptors();
  const auto start = std::chrono::steady_clock::now();
  for (int press = 0; press < 1000; ++press) {
    form.Command_Click();
    ASSERT_EQ(form.Message->text(), "") << "press " << press;
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(OpenFileDescriptors(), fds);
  std::printf("1000 presses: %lld ms\n",
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));
}

}  // namespace
