#include <gtest/gtest.h>

#include <QLabel>

#include "Form1.h"
#include "standin/ScriptedLibrary.h"
#include "support/DiagnosticCapture.h"
#include "support/FormFields.h"
#include "support/Hex.h"

namespace {

using standin::Block;
using testsupport::AllFields;
using testsupport::DiagnosticLines;
using Names = std::vector<std::string>;

Block FromHex(const char* hex) {
  const auto bytes = testsupport::Hex(hex);
  Block block{};
  std::copy(bytes.begin(), bytes.end(), block.begin());
  return block;
}

// A card whose every field text is known.
standin::Script CardA() {
  standin::Script script;
  script.idm = {0x01, 0x16, 0x03, 0x00, 0xAB, 0xCD, 0xEF, 0x42};
  script.services[0x020B] = {FromHex("FFFFFFFFFFFF20040401FFFFFFFFFFFF"), FromHex("863E8742000000000000000000000000"),
                             FromHex("00000000200404012004093000000000")};
  script.services[0x0417] = {FromHex("E8030000000000000000000000000000"), FromHex("FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF")};
  for (int i = 0; i < 20; ++i) script.services[0x060F].push_back(FromHex("000C86401234200407010815C800E803"));
  script.services[0x060F][0] = FromHex("00000000000000000000000000000000");
  script.services[0x060F][19] = FromHex("0A0C8641000020041A3125610000FFFF");
  return script;
}

standin::Script CardB() {
  standin::Script script;
  script.idm = {0x09, 0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02};
  script.services[0x020B] = {FromHex("00000000000020050101000000000000"), FromHex("88FF0101000000000000000000000000"),
                             FromHex("00000000200501012005063000000000")};
  script.services[0x0417] = {FromHex("3412000000000000000000000A000000"), FromHex("00000000000000000000000000000000")};
  for (int i = 0; i < 20; ++i) script.services[0x060F].push_back(FromHex("011401110000200501011200E8031027"));
  return script;
}

class ReadOperationTest : public testing::Test {
 protected:
  void Press(standin::Script script) {
    standin::Reset(std::move(script));
    form.Command_Click();
  }
  void PressFailing(std::initializer_list<const char*> failing) {
    standin::Script script = CardB();
    for (const char* name : failing) script.failingCalls.insert(name);
    Press(script);
  }

  Form1 form;
  testsupport::DiagnosticCapture capture{[this] { return form.Message->text().toStdString(); }};
};

const Names kFullCycle = {"initialize_library", "open_reader_writer_auto", "polling_and_get_card_information",
                          "read_block_without_encryption", "read_block_without_encryption",
                          "read_block_without_encryption", "close_reader_writer", "dispose_library"};

TEST_F(ReadOperationTest, FullPressWritesEveryField) {
  form.Message->setText("old");
  Press(CardA());
  EXPECT_EQ(standin::CallNames(), kFullCycle);
  EXPECT_TRUE(DiagnosticLines().empty());
  EXPECT_EQ(form.Message->text(), "");
  EXPECT_EQ(form.PassDate->text(), "定期券発券日：2004年04月01日");
  EXPECT_EQ(form.PassArea->text(), "定期券区間　：南北線/さっぽろ　　　～東西線/バスセンター前");
  EXPECT_EQ(form.PassLimit->text(), "定期券期間　：2004年04月01日～2004年09月30日");
  EXPECT_EQ(form.ChargeLeft->text(), "チャージ残高：01,000円");
  EXPECT_EQ(form.Debt->text(), "不足金額　　：00,000円");
  EXPECT_EQ(form.History[0]->text(),
            "  0：地下鉄乗車/------/------　　　　/0000年00月00日00:00/使用 00,000円/残高 00,000円");
  EXPECT_EQ(form.History[3]->text(), "  3：地下鉄降車/南北線/大通　　　　　/2004年07月01日08:15/使用 00,200円/残高 01,000円");
  EXPECT_EQ(form.History[10]->text(), " 10：地下鉄降車/南北線/大通　　　　　/2004年07月01日08:15/使用 00,200円/残高 01,000円");
  EXPECT_EQ(form.History[19]->text(),
            " 19：未定義0A0C/------/------　　　　/2004年1A月31日25:61/使用 00,000円/残高 65,535円");
}

TEST_F(ReadOperationTest, CallsCarryThePolledIdmAndTheServiceCodes) {
  const standin::Script card = CardA();
  Press(card);
  const auto& calls = standin::Calls();
  ASSERT_EQ(calls.size(), kFullCycle.size());
  EXPECT_EQ(calls[2].systemCode, (std::array<std::uint8_t, 2>{0x00, 0x0B}));
  EXPECT_EQ(calls[2].timeSlot, 0);
  EXPECT_EQ(calls[2].numberOfCardsBefore, 0);
  const std::pair<std::uint16_t, int> reads[] = {{0x020B, 3}, {0x0417, 2}, {0x060F, 20}};
  for (int r = 0; r < 3; ++r) {
    const auto& call = calls[3 + r];
    EXPECT_EQ(call.serviceCode, reads[r].first);
    EXPECT_EQ(call.numberOfBlocks, reads[r].second);
    EXPECT_EQ(call.idm, std::vector<std::uint8_t>(card.idm.begin(), card.idm.end()));
  }
}

TEST_F(ReadOperationTest, SecondPressWithAnotherCardRewritesEveryField) {
  Press(CardA());
  const auto first = AllFields(form);
  Press(CardB());
  const auto second = AllFields(form);
  for (const auto& [name, text] : second) {
    if (name != "Message") {
      EXPECT_NE(text, first.at(name)) << name.toStdString();
    }
  }
  EXPECT_EQ(form.Message->text(), "");
  EXPECT_EQ(form.ChargeLeft->text(), "チャージ残高：04,660円");
  EXPECT_EQ(form.Debt->text(), "不足金額　　：00,010円");
  EXPECT_EQ(form.PassArea->text(), "定期券区間　：電車　/　　　　　　　～入金機/　　　　　　　");
  EXPECT_EQ(form.History[5]->text(), "  5：チャージ　/入金機/福住南口　　　/2005年01月01日12:00/使用 01,000円/残高 10,000円");
}

struct FailureRow {
  const char* name;
  std::vector<const char*> failing;
  std::optional<std::uint16_t> failingService;
  Names calls;
  std::vector<std::string> diagnostics;  // each with the Message text at the time
  QString message;
  std::vector<QString> changedFields;  // besides Message
};

void PrintTo(const FailureRow& row, std::ostream* os) { *os << row.name; }

class FailureTableTest : public ReadOperationTest, public testing::WithParamInterface<FailureRow> {};

TEST_P(FailureTableTest, CallsFieldsAndDiagnostics) {
  const FailureRow& row = GetParam();
  Press(CardA());  // earlier texts, to see which fields the failing press leaves alone
  form.Message->setText("before");
  const auto before = AllFields(form);

  standin::Script script = CardB();
  script.felicaErrorType = 0xFFA2;
  script.rwErrorType = 6;
  for (const char* name : row.failing) script.failingCalls.insert(name);
  script.failingService = row.failingService;
  Press(script);

  EXPECT_EQ(standin::CallNames(), row.calls);
  EXPECT_EQ(DiagnosticLines(), row.diagnostics);
  EXPECT_EQ(form.Message->text(), row.message);
  for (const auto& [name, text] : AllFields(form)) {
    if (name == "Message") continue;
    const bool changed = std::find(row.changedFields.begin(), row.changedFields.end(), name) != row.changedFields.end();
    if (changed) {
      EXPECT_NE(text, before.at(name)) << name.toStdString();
    } else {
      EXPECT_EQ(text, before.at(name)) << name.toStdString();
    }
  }
}

const QString kNoReader = "パソリが見つかりません。";
const QString kNoCard = "Q.A.V.O.カードをパソリにおいてください。";
const QString kReadError = "読み込みエラーです。";
const std::vector<QString> kPass = {"PassDate", "PassArea", "PassLimit"};
const std::vector<QString> kPassAndPurse = {"PassDate", "PassArea", "PassLimit", "ChargeLeft", "Debt"};
std::vector<QString> AllButMessage() {
  std::vector<QString> names = kPassAndPurse;
  for (int i = 0; i < 20; ++i) names.push_back(QStringLiteral("History(%1)").arg(i));
  return names;
}
const Names kReportTail = {"get_last_error_types", "diagnostic", "diagnostic", "close_reader_writer", "dispose_library"};
Names Concat(Names head, const Names& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}
const Names kToPolling = {"initialize_library", "open_reader_writer_auto", "polling_and_get_card_information"};
const std::string kErrorTypes = "felica error type: 65442";

INSTANTIATE_TEST_SUITE_P(
    Rows, FailureTableTest,
    testing::Values(
        FailureRow{"InitializeFails", {"initialize_library"}, {}, {"initialize_library", "diagnostic"},
                   {"Can't initialize library. | before"}, kNoReader, {}},
        FailureRow{"OpenFails", {"open_reader_writer_auto"}, {},
                   {"initialize_library", "open_reader_writer_auto", "diagnostic"},
                   {"Can't open reader writer. | before"}, kNoReader, {}},
        FailureRow{"PollingFails", {"polling_and_get_card_information"}, {}, Concat(kToPolling, kReportTail),
                   {kErrorTypes + " | " + kNoCard.toStdString(), "rw error type: 6 | " + kNoCard.toStdString()},
                   kNoCard, {}},
        FailureRow{"PassReadFails", {}, 0x020B,
                   Concat(Concat(kToPolling, {"read_block_without_encryption"}), kReportTail),
                   {kErrorTypes + " | " + kReadError.toStdString(), "rw error type: 6 | " + kReadError.toStdString()},
                   kReadError, {}},
        FailureRow{"PurseReadFails", {}, 0x0417,
                   Concat(Concat(kToPolling, {"read_block_without_encryption", "read_block_without_encryption"}),
                          kReportTail),
                   {kErrorTypes + " | " + kReadError.toStdString(), "rw error type: 6 | " + kReadError.toStdString()},
                   kReadError, kPass},
        FailureRow{"HistoryReadFails", {}, 0x060F,
                   Concat(Concat(kToPolling, {"read_block_without_encryption", "read_block_without_encryption",
                                              "read_block_without_encryption"}),
                          kReportTail),
                   {kErrorTypes + " | " + kReadError.toStdString(), "rw error type: 6 | " + kReadError.toStdString()},
                   kReadError, kPassAndPurse},
        FailureRow{"CloseFails", {"close_reader_writer"}, {},
                   Concat(Names(kFullCycle.begin(), kFullCycle.end() - 1), {"diagnostic"}),
                   {"Can't close reader writer. | "}, "", AllButMessage()},
        FailureRow{"DisposeFails", {"dispose_library"}, {}, Concat(kFullCycle, {"diagnostic"}),
                   {"Can't dispose library. | "}, "", AllButMessage()}),
    [](const testing::TestParamInfo<FailureRow>& info) { return std::string(info.param.name); });

TEST_F(ReadOperationTest, InitializeFailureReplacesAnEarlierPollingMessage) {
  PressFailing({"polling_and_get_card_information"});
  ASSERT_EQ(form.Message->text(), kNoCard);
  PressFailing({"initialize_library"});
  EXPECT_EQ(form.Message->text(), kNoReader);
}

TEST_F(ReadOperationTest, PressAfterFailedOpenInitialisesAgain) {
  PressFailing({"open_reader_writer_auto"});
  Press(CardA());
  EXPECT_EQ(standin::CallNames(), kFullCycle);
  EXPECT_EQ(form.Message->text(), "");
}

}  // namespace
