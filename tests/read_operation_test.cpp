// A press of READ against the scripted stand-in library: the calls and their
// arguments, the texts of every field, the block text that card access makes,
// and the failure table.
#include <gtest/gtest.h>

#include "FeliCa.h"
#include "FieldTexts.h"
#include "Form1.h"
#include "support/DiagnosticCapture.h"
#include "support/DisplayWidth.h"
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

// Every history line differs: block i leaves a balance of i yen.
standin::Script CardA() {
  standin::Script script;
  script.idm = {0x01, 0x16, 0x03, 0x00, 0xAB, 0xCD, 0xEF, 0x42};
  script.services[0x020B] = {FromHex("FFFFFFFFFFFF20040401FFFFFFFFFFFF"), FromHex("863E8742000000000000000000000000"),
                             FromHex("00000000200404012004093000000000")};
  script.services[0x0417] = {FromHex("E8030000000000000000000000000000"), FromHex("FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF")};
  for (int i = 0; i < 20; ++i) {
    script.services[0x060F].push_back(FromHex("000C86401234200407010815C8000000"));
    script.services[0x060F][i][14] = static_cast<std::uint8_t>(i);
  }
  script.services[0x060F][0] = FromHex("00000000000000000000000000000000");
  script.services[0x060F][19] = FromHex("0A0C8641000020041A3125610000FFFF");
  return script;
}

standin::Script CardB() {
  standin::Script script;
  script.idm = {0x09, 0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02};
  script.services[0x020B] = {FromHex("ABCDEF12345620050101999999999999"), FromHex("88FF0101000000000000000000000000"),
                             FromHex("AAAAAAAA200501012005063000000000")};
  script.services[0x0417] = {FromHex("3412000000000000000000000A000000"), FromHex("00000000000000000000000000000000")};
  for (int i = 0; i < 20; ++i) script.services[0x060F].push_back(FromHex("011401119999200501011200E8031027"));
  return script;
}

class ReadOperationTest : public testing::Test {
 protected:
  void Press(standin::Script script) {
    standin::Reset(std::move(script));
    form.Command_Click();
  }
  Form1 form;
  testsupport::DiagnosticCapture capture{[this] { return form.Message->text().toStdString(); }};
};

const Names kToPolling = {"initialize_library", "open_reader_writer_auto", "polling_and_get_card_information"};
const Names kRead = {"read_block_without_encryption"};
const Names kReportTail = {"get_last_error_types", "diagnostic", "diagnostic", "close_reader_writer",
                           "dispose_library"};
const Names kEnd = {"close_reader_writer", "dispose_library"};
Names Concat(std::initializer_list<Names> parts) {
  Names all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST_F(ReadOperationTest, FullPressCallsWithTheCardsArgumentsAndWritesEveryField) {
  form.Message->setText("old");
  const standin::Script card = CardA();
  Press(card);
  EXPECT_EQ(standin::CallNames(), Concat({kToPolling, kRead, kRead, kRead, kEnd}));
  const auto& calls = standin::Calls();
  EXPECT_EQ(calls[2].systemCode, (std::array<std::uint8_t, 2>{0x00, 0x0B}));
  EXPECT_EQ(calls[2].timeSlot, 0);
  EXPECT_EQ(calls[2].numberOfCardsBefore, 0);
  std::vector<std::uint8_t> list;
  for (int k = 0; k < 20; ++k) list.insert(list.end(), {0x80, static_cast<std::uint8_t>(k)});
  const std::pair<std::uint16_t, int> reads[] = {{0x020B, 3}, {0x0417, 2}, {0x060F, 20}};
  for (int r = 0; r < 3; ++r) {
    const auto& call = calls[3 + r];
    EXPECT_EQ(call.serviceCode, reads[r].first);
    EXPECT_EQ(call.numberOfBlocks, reads[r].second);
    EXPECT_EQ(call.numberOfServices, 1);
    EXPECT_EQ(call.idm, std::vector<std::uint8_t>(card.idm.begin(), card.idm.end()));
    EXPECT_EQ(call.blockList, list);
    EXPECT_TRUE(call.blockDataZeroBefore);  // every read gets fresh records: nothing carries over
    EXPECT_EQ(call.responseAreasBefore, (std::array<std::uint8_t, 3>{0, 0, 1}));
  }
  EXPECT_TRUE(DiagnosticLines().empty());
  EXPECT_EQ(form.Message->text(), "");
  EXPECT_EQ(form.PassDate->text(), "定期券発券日：2004年04月01日");
  EXPECT_EQ(form.PassArea->text(), "定期券区間　：南北線/さっぽろ　　　～東西線/バスセンター前");
  EXPECT_EQ(form.PassLimit->text(), "定期券期間　：2004年04月01日～2004年09月30日");
  EXPECT_EQ(form.ChargeLeft->text(), "チャージ残高：01,000円");
  EXPECT_EQ(form.Debt->text(), "不足金額　　：00,000円");
  EXPECT_EQ(form.History[0]->text(),
            "  0：地下鉄乗車/------/------　　　　/0000年00月00日00:00/使用 00,000円/残高 00,000円");
  for (int i = 1; i < 19; ++i) {
    EXPECT_EQ(form.History[i]->text(),
              QStringLiteral("%1：地下鉄降車/南北線/大通　　　　　/2004年07月01日08:15/使用 00,200円/残高 00,0%2円")
                  .arg(i, 3)
                  .arg(i, 2, 10, QChar('0')));
  }
  EXPECT_EQ(form.History[19]->text(),
            " 19：未定義0A0C/------/------　　　　/2004年1A月31日25:61/使用 00,000円/残高 65,535円");
}

TEST_F(ReadOperationTest, SecondPressWithAnotherCardRewritesEveryField) {
  Press(CardA());
  const auto first = AllFields(form);
  Press(CardB());
  for (const auto& [name, text] : AllFields(form)) {
    EXPECT_TRUE(name == "Message" || text != first.at(name)) << name.toStdString();
  }
  EXPECT_EQ(form.Message->text(), "");
  EXPECT_EQ(form.PassDate->text(), "定期券発券日：2005年01月01日");  // the bytes around the date are not shown
  EXPECT_EQ(form.PassLimit->text(), "定期券期間　：2005年01月01日～2005年06月30日");
  EXPECT_EQ(form.ChargeLeft->text(), "チャージ残高：04,660円");  // the first byte is the low byte
  EXPECT_EQ(form.Debt->text(), "不足金額　　：00,010円");
  EXPECT_EQ(form.PassArea->text(), "定期券区間　：電車　/　　　　　　　～入金機/　　　　　　　");
  EXPECT_EQ(form.History[15]->text(),
            " 15：チャージ　/入金機/福住南口　　　/2005年01月01日12:00/使用 01,000円/残高 10,000円");
}

TEST(FieldTexts, AmountsAndLinesThatLineUp) {
  const std::pair<unsigned, const char*> amounts[] = {{0, "00,000"},    {5, "00,005"},     {999, "00,999"},
                                                      {1000, "01,000"}, {10000, "10,000"}, {32768, "32,768"},
                                                      {65535, "65,535"}};
  for (const auto& [value, text] : amounts)
    EXPECT_EQ(app::AmountText(static_cast<std::uint16_t>(value)), text) << value;
  const char* blocks[] = {"000C86401234200407010815C800E803", "0A0C8641000020041A3125610000FFFF",
                          "090C09010000200406300930FFFF0000", "0B8C88FF000020040601000000000000"};
  for (int i = 0; i < 20; ++i) {
    const std::string_view block = blocks[i % 4];
    const auto line = app::HistoryIndexText(i) + app::HistoryKindAndStation(block) + app::HistoryDateTime(block) +
                      app::HistoryAmountUsed(block) + app::HistoryBalance(block);
    EXPECT_EQ(testsupport::DisplayColumns(line), 85) << i;
  }
}

// Card access as the window calls it: the 642-character block text.
TEST_F(ReadOperationTest, BlockTextIsTwoUpperCaseDigitsABytePaddedWithZerosAndKeepsDataDespiteFlags) {
  standin::Script script = CardA();
  script.services[0x0417] = {FromHex("000AA0FF000000000000000000000001"), FromHex("FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF")};
  script.statusFlag1 = 0xFF;
  script.statusFlag2 = 0xA2;
  standin::Reset(script);
  std::vector<std::uint8_t> idm(8, 0x11), service{0x17, 0x04};
  form.Message->setText("unchanged");
  const QString text = form.QAVOVext(idm, service, 2);
  EXPECT_EQ(text, "000AA0FF000000000000000000000001FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF" + QString(578, '0'));
  service = {0x0F, 0x06};
  EXPECT_EQ(form.QAVOVext(idm, service, 20).mid(32 * 19, 32), "0A0C8641000020041A3125610000FFFF");
  EXPECT_EQ(form.Message->text(), "unchanged");
}

TEST_F(ReadOperationTest, RefusedArgumentsNeverReachTheLibraryAndEndTheCycle) {
  const std::tuple<std::size_t, std::size_t, std::int16_t> cases[] = {{7, 2, 3}, {9, 2, 3}, {0, 2, 3},  {8, 1, 3},
                                                                      {8, 0, 3}, {8, 2, 0}, {8, 2, 21}, {8, 2, -1}};
  for (const auto& [idmSize, listSize, blocks] : cases) {
    SCOPED_TRACE(testing::Message() << idmSize << " " << listSize << " " << blocks);
    standin::Reset(CardA());
    std::vector<std::uint8_t> idm(idmSize, 0x11), list(listSize, 0x0B);
    EXPECT_EQ(form.QAVOVext(idm, list, blocks), "");
    EXPECT_EQ(form.Message->text(), "読み込みエラーです。");
    EXPECT_EQ(standin::CallNames(), Concat({{"diagnostic"}, kReportTail}));
  }
}

struct FailureRow {
  const char* name;
  const char* failingCall;
  std::optional<std::uint16_t> failingService;
  Names calls;
  std::vector<std::string> diagnostics;  // each with the Message text at the time
  QString message;
  std::vector<QString> changedFields;  // besides Message
};

TEST_F(ReadOperationTest, FailureTable) {
  const QString noReader = "パソリが見つかりません。", noCard = "Q.A.V.O.カードをパソリにおいてください。";
  const QString readError = "読み込みエラーです。";
  const std::vector<QString> pass = {"PassDate", "PassArea", "PassLimit"};
  std::vector<QString> passAndPurse = pass, all;
  passAndPurse.insert(passAndPurse.end(), {"ChargeLeft", "Debt"});
  all = passAndPurse;
  for (int i = 0; i < 20; ++i) all.push_back(QStringLiteral("History(%1)").arg(i));
  const auto report = [](const QString& message) {
    return std::vector<std::string>{"felica error type: 65442 | " + message.toStdString(),
                                    "rw error type: 6 | " + message.toStdString()};
  };
  const FailureRow rows[] = {
      {"InitializeFails",
       "initialize_library",
       {},
       {"initialize_library", "diagnostic"},
       {"Can't initialize library. | before"},
       noReader,
       {}},
      {"OpenFails",
       "open_reader_writer_auto",
       {},
       {"initialize_library", "open_reader_writer_auto", "diagnostic"},
       {"Can't open reader writer. | before"},
       noReader,
       {}},
      {"PollingFails",
       "polling_and_get_card_information",
       {},
       Concat({kToPolling, kReportTail}),
       report(noCard),
       noCard,
       {}},
      {"PassReadFails", "", 0x020B, Concat({kToPolling, kRead, kReportTail}), report(readError), readError, {}},
      {"PurseReadFails", "", 0x0417, Concat({kToPolling, kRead, kRead, kReportTail}), report(readError), readError,
       pass},
      {"HistoryReadFails", "", 0x060F, Concat({kToPolling, kRead, kRead, kRead, kReportTail}), report(readError),
       readError, passAndPurse},
      {"CloseFails",
       "close_reader_writer",
       {},
       Concat({kToPolling, kRead, kRead, kRead, {"close_reader_writer", "diagnostic"}}),
       {"Can't close reader writer. | "},
       "",
       all},
      {"DisposeFails",
       "dispose_library",
       {},
       Concat({kToPolling, kRead, kRead, kRead, kEnd, {"diagnostic"}}),
       {"Can't dispose library. | "},
       "",
       all}};
  for (const FailureRow& row : rows) {
    SCOPED_TRACE(row.name);
    Press(CardA());  // earlier texts, to see which fields the failing press leaves alone
    form.Message->setText("before");
    const auto before = AllFields(form);
    standin::Script script = CardB();
    script.felicaErrorType = 0xFFA2;
    script.rwErrorType = 6;
    script.failingCalls.insert(row.failingCall);
    script.failingService = row.failingService;
    Press(script);
    EXPECT_EQ(standin::CallNames(), row.calls);
    EXPECT_EQ(DiagnosticLines(), row.diagnostics);
    EXPECT_EQ(form.Message->text(), row.message);
    for (const auto& [name, text] : AllFields(form)) {
      if (name == "Message") continue;
      const bool changed =
          std::find(row.changedFields.begin(), row.changedFields.end(), name) != row.changedFields.end();
      EXPECT_EQ(text != before.at(name), changed) << name.toStdString();
    }
  }
  // A failed initialise replaces an earlier polling message; the press after a failed open starts again.
  for (const char* failing : {"polling_and_get_card_information", "initialize_library", "open_reader_writer_auto"}) {
    standin::Script script = CardB();
    script.failingCalls.insert(failing);
    Press(script);
    EXPECT_EQ(form.Message->text(), failing[0] == 'p' ? noCard : noReader) << failing;
  }
  Press(CardA());
  EXPECT_EQ(standin::CallNames(), Concat({kToPolling, kRead, kRead, kRead, kEnd}));
  EXPECT_EQ(form.Message->text(), "");
}

TEST_F(ReadOperationTest, DiagnosticLinesAreTheMessageAndTheValue) {
  standin::Reset({});
  FeliCa::WriteDiagnostic("Can't close reader writer.", "");
  FeliCa::WriteDiagnostic("rw error type: ", -42);
  FeliCa::WriteDiagnostic("rw error type: ", 2147483647);
  FeliCa::WriteDiagnostic("text: ", "abc");
  EXPECT_EQ(DiagnosticLines(), (std::vector<std::string>{"Can't close reader writer. | ", "rw error type: -42 | ",
                                                         "rw error type: 2147483647 | ", "text: abc | "}));
}

}  // namespace
