// A press of READ against the scripted stand-in library: the calls and their arguments, the texts of every field, the
// block text that card access makes, and the failure table.
#include <gtest/gtest.h>

#include <cstring>

#include "DiagnosticSink.h"
#include "Form1.h"
#include "standin/ScriptedLibrary.h"
#include "support/FormFields.h"
#include "support/Hex.h"

namespace {

using standin::Block;
using testsupport::AllFields;

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

// The diagnostic lines of card access, in the stand-in's call log in order with the library calls, each with the
// Message field's text at that moment.
struct DiagnosticCapture {
  explicit DiagnosticCapture(std::function<std::string()> snapshot) {
    card::SetDiagnosticSink([snapshot](const std::string& line) {
      standin::Record({"diagnostic", line + " | " + snapshot()});
    });
  }
  ~DiagnosticCapture() { card::SetDiagnosticSink({}); }
};

std::vector<std::string> DiagnosticLines() {
  std::vector<std::string> lines;
  for (const auto& call : standin::Calls()) {
    if (call.function == "diagnostic") lines.push_back(call.given);
  }
  return lines;
}

class ReadOperationTest : public testing::Test {
 protected:
  void Press(standin::Script script) {
    standin::Reset(std::move(script));
    form.Command_Click();
  }
  Form1 form;
  DiagnosticCapture capture{[this] { return form.Message->text().toStdString(); }};
};

// The calls so far by the first word of their names ("initialize open polling ...").
std::string Calls() {
  std::string words;
  for (const auto& name : standin::CallNames()) words += (words.empty() ? "" : " ") + name.substr(0, name.find('_'));
  return words;
}

constexpr const char* kFullCycle = "initialize open polling read read read close dispose";

TEST_F(ReadOperationTest, FullPressCallsWithTheCardsArgumentsAndWritesEveryField) {
  form.Message->setText("old");
  Press(CardA());
  EXPECT_EQ(Calls(), kFullCycle);
  EXPECT_EQ(standin::Calls()[2].given, "000B0000");  // system code, time slot 0, no card counted yet
  std::string list;                                  // elements 0..19: access mode 0, service 0, block k
  for (int k = 0; k < 20; ++k)
    list += "80" + testsupport::HexOf(std::vector<std::uint8_t>{static_cast<std::uint8_t>(k)});
  // The polled IDm, one service, its code, the count; fresh response records every time.
  for (const auto& [r, service] : {std::pair{3, "0B02 03 "}, {4, "1704 02 "}, {5, "0F06 14 "}}) {
    EXPECT_EQ(standin::Calls()[r].given, "01160300ABCDEF42 01 " + (service + list) + " 000001 zeros");
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
    EXPECT_EQ(form.History[i]->text(), QStringLiteral("%1：地下鉄降車/南北線/大通　　　　　/2004年07月01日08:15/使用 "
                                                      "00,200円/残高 00,0%2円")
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
  for (const auto& [name, text] : AllFields(form))
    EXPECT_TRUE(name == "Message" || text != first.at(name)) << name.toStdString();
  EXPECT_EQ(form.PassDate->text(), "定期券発券日：2005年01月01日");  // the bytes around the date are not shown
  EXPECT_EQ(form.ChargeLeft->text() + form.Debt->text(),
            "チャージ残高：04,660円不足金額　　：00,010円");  // low byte first
  EXPECT_EQ(form.PassArea->text(), "定期券区間　：電車　/　　　　　　　～入金機/　　　　　　　");
  EXPECT_EQ(form.History[15]->text(),
            " 15：チャージ　/入金機/福住南口　　　/2005年01月01日12:00/使用 01,000円/残高 10,000円");
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
    EXPECT_EQ(Calls(), "diagnostic get diagnostic diagnostic close dispose");
  }
}

TEST_F(ReadOperationTest, FailureTable) {
  const std::string noReader = "パソリが見つかりません。", noCard = "Q.A.V.O.カードをパソリにおいてください。";
  const std::string readError = "読み込みエラーです。", reading = "initialize open polling read ";
  const std::string report = "get diagnostic diagnostic close dispose";
  struct Row {
    const char* failingCall;
    std::optional<std::uint16_t> failingService;
    std::string calls, lines, message;  // the diagnostic lines each with the Message text at the time
    const char* changed;                // the fields besides Message the press rewrites
  };
  const auto errorTypes = [](const std::string& message) {
    return "felica error type: 65442 | " + message + ", rw error type: -7 | " + message;
  };
  const Row rows[] = {
      {"initialize_library", {}, "initialize diagnostic", "Can't initialize library. | before", noReader, ""},
      {"open_reader_writer_auto", {}, "initialize open diagnostic", "Can't open reader writer. | before", noReader, ""},
      {"polling_and_get_card_information", {}, "initialize open polling " + report, errorTypes(noCard), noCard, ""},
      {"", 0x020B, reading + report, errorTypes(readError), readError, ""},
      {"", 0x0417, reading + "read " + report, errorTypes(readError), readError, "Pass"},
      {"", 0x060F, reading + "read read " + report, errorTypes(readError), readError, "PassChargeLeftDebt"},
      {"close_reader_writer", {}, reading + "read read close diagnostic", "Can't close reader writer. | ", "", "*"},
      {"dispose_library", {}, kFullCycle + std::string(" diagnostic"), "Can't dispose library. | ", "", "*"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.calls);
    Press(CardA());  // earlier texts, to see which fields the failing press leaves alone
    form.Message->setText("before");
    const auto before = AllFields(form);
    standin::Script script = CardB();
    script.felicaErrorType = 0xFFA2;
    script.rwErrorType = -7;
    script.failingCalls.insert(row.failingCall);
    script.failingService = row.failingService;
    Press(script);
    EXPECT_EQ(Calls(), row.calls);
    std::string lines;
    for (const auto& line : DiagnosticLines()) lines += (lines.empty() ? "" : ", ") + line;
    EXPECT_EQ(lines, row.lines);
    EXPECT_EQ(form.Message->text().toStdString(), row.message);
    for (const auto& [name, text] : AllFields(form)) {
      const bool changed = *row.changed == '*' || (name.startsWith("Pass") && std::strstr(row.changed, "Pass")) ||
                           std::strstr(row.changed, name.toLatin1().constData());
      EXPECT_EQ(name != "Message" && text != before.at(name), name != "Message" && changed) << name.toStdString();
    }
  }
  // A failed initialise replaces an earlier polling message; the press after a failed open starts again.
  for (const char* failing : {"polling_and_get_card_information", "initialize_library", "open_reader_writer_auto"}) {
    standin::Script script = CardB();
    script.failingCalls.insert(failing);
    Press(script);
    EXPECT_EQ(form.Message->text().toStdString(), failing[0] == 'p' ? noCard : noReader) << failing;
  }
  Press(CardA());
  EXPECT_EQ(Calls(), kFullCycle);
  EXPECT_EQ(form.Message->text(), "");
}

}  // namespace
