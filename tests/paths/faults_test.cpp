// What is particular to each reader path: how its reader is found, opened,
// recovered and explained when it cannot be used.
#include <gtest/gtest.h>

#include <PCSC/winscard.h>
#include <dlfcn.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QLabel>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <thread>

#include "Dialects.h"
#include "Form1.h"
#include "PcscTransport.h"
#include "Port100Transport.h"
#include "emulators/Pn53xFrames.h"
#include "emulators/usb/UsbReaders.h"
#include "paths/Rigs.h"
#include "support/FormFields.h"
#include "support/Hex.h"
#include "support/Outcome.h"

namespace {

using namespace std::chrono;
using emulator::FelicaCard;
using testsupport::Hex;

std::shared_ptr<FelicaCard> Demo() { return std::make_shared<FelicaCard>(emulator::SampleCard("demo-card.json")); }

class FaultTest : public testing::Test {
 protected:
  void SetUp() override { fakeusb::UnplugAll(); }
  // One press: what it showed and the diagnostic lines it wrote.
  std::string Press(const char* felicaReader) {
    felicaReader ? setenv("FELICA_READER", felicaReader, 1) : unsetenv("FELICA_READER");
    testing::internal::CaptureStderr();
    const auto start = steady_clock::now();
    form.Command_Click();
    took = duration_cast<milliseconds>(steady_clock::now() - start);
    return form.Message->text().toStdString() + " | " + testing::internal::GetCapturedStderr();
  }
  Form1 form;
  milliseconds took{};
};

template <typename Device, typename... Args>
std::shared_ptr<Device> Plug(Args&&... args) {
  auto device = std::make_shared<Device>(std::forward<Args>(args)...);
  fakeusb::Plug(device);
  return device;
}

std::shared_ptr<fakeusb::Rcs380> Rcs380() { return Plug<fakeusb::Rcs380>(Demo()); }
std::shared_ptr<fakeusb::Pn53xUsb> Rcs360() { return Plug<fakeusb::Pn53xUsb>(emulator::Pn53xModel::Rcs956, Demo()); }

TEST_F(FaultTest, UsbReadersOpenDespiteWhatASessionLeftOrSayWhyTheyCannot) {
  const std::string noReader = "パソリが見つかりません。 | felica_for_vb: ";
  struct Row {
    void (*plug)();
    const char* reader;
    std::string shows;  // the window's Message, then standard error
    int withinMs = 500;
  };
  // clang-format off
  const Row rows[] = {
      // an ACK and answers of a killed session still in the pipe
      {[] { for (auto reader = Rcs380(); const char* frame : {"0000FF00FF00", "0000FFFFFF0300FDD707002200",
             "0000FFFFFF0600FAD70580000000A400", "0000FFFFFF0600FAD70580000000A400"}) reader->Queue(Hex(frame)); }, "port100", " | "},
      {[] { Rcs380()->kernelDriver = true; }, "port100", " | "},  // taken from the kernel, and given back
      {[] { Rcs380()->heldByOther = true, Rcs380(); }, "port100", " | "},
      {[] { Rcs380()->silent = true; }, "port100", noReader + "RC-S380: reader firmware does not answer\n"},
      // Hiccups of real RC-S380s, from a command on: one is got over by sending the command again, a second is named.
      {[] { auto r = Rcs380(); r->hiccupAt = 2, r->unanswered = 1; }, "port100", " | ", 420},  // a lost first answer
      {[] { auto r = Rcs380(); r->hiccupAt = 1, r->errorFrames = 1; }, "port100", " | ", 320},  // its error frame
      {[] { auto r = Rcs380(); r->hiccupAt = 8, r->errorFrames = 1; }, "port100", " | ", 320},  // at the pass read
      {[] { auto r = Rcs380(); r->hiccupAt = 2, r->unanswered = 2; }, "port100", noReader + "RC-S380: GetFirmwareVersion acknowledged but not answered twice\n"},
      {[] { auto r = Rcs380(); r->hiccupAt = 8, r->errorFrames = 2; }, "port100", "読み込みエラーです。 | felica_for_vb: port100: InCommRF met the chip's error frame twice\nfelica error type: 0\nrw error type: 7\n"},
      {[] { Rcs380()->unplugAfter = 8; }, "port100",  // after the pass read
       "読み込みエラーです。 | felica_for_vb: port100: reader unplugged\nfelica error type: 0\nrw error type: 3\n"},
      {[] { Rcs360()->unplugAfter = 1; }, "libnfc",  // libnfc hands on the USB's -ENODEV (and says so itself)
       "felica_for_vb: libnfc: reader unplugged\nfelica error type: 0\nrw error type: 3\n"},
      {[] { Rcs380()->unplugged = true; }, "port100",  // between the listing and the open, or the claim
       noReader + "the RC-S380 was unplugged (/dev/bus/usb/001/002)\n"},
      {[] { Rcs380()->unplugsAtClaim = true; }, "port100", noReader + "the RC-S380 was unplugged"},
      {[] { Plug<fakeusb::Rcs380>(nullptr), Rcs360(); }, nullptr, " | ", 1000},  // auto mode: the reader with the card
      // libnfc would read a stale answer for its first ACK, send a NACK that the RC-S360 does not know, and fail its
      // set-up (libnfc issues 278, 546).
      {[] { Rcs360()->Queue(emulator::Pn53xFrame({0xD5, 0x41, 0x01})); }, "libnfc", " | ", 1000},
      {[] { Rcs360()->Queue(emulator::Pn53xFrame({0xD5, 0x4B, 0x00})); }, "libnfc:pn53x_usb:001:002", " | ", 1000},
      {[] {}, "libnfc", noReader + "no libnfc reader found\n"},
      {[] { Plug<fakeusb::Pn53xUsb>(emulator::Pn53xModel::Pn533, Demo())->silent = true; }, "libnfc",
       noReader + "libnfc found pn53x_usb:001:002 but cannot open it\n", 2000},
      {[] { Rcs380()->noPermission = true; }, "port100", noReader + "no permission to open the RC-S380 (/dev/bus/usb/001/002): "
       "install the udev rule 60-qavo-card-reader.rules"},
      {[] { Rcs360()->noPermission = true; }, "libnfc", "(/dev/bus/usb/001/002): install the udev rule 60-qavo-card-reader"},
      {[] { Rcs380()->kernelDriver = true, fakeusb::Plugged()[0]->canDetach = false; }, "port100",
       noReader + "the kernel's port100 driver holds the RC-S380"},
      {[] { Rcs360()->kernelDriver = true; }, "libnfc", "the kernel's pn533_usb driver holds the RC-S330/360/370"},
      {[] { Rcs380()->heldByOther = true; }, "port100", noReader + "another program holds the RC-S380"},
      {[] { Rcs380()->unreadableConfiguration = true; }, "port100", noReader + "cannot read the configuration of the RC-S380: LIBUSB_ERROR_"},
      {[] { Rcs360()->heldByOther = true; }, "libnfc", "another program holds the RC-S330/360/370"}};
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.shows);
    fakeusb::UnplugAll();
    row.plug();
    const int listings = fakeusb::listings;
    const auto shown = Press(row.reader);
    EXPECT_TRUE(row.shows == " | " ? shown == row.shows : shown.find(row.shows) != std::string::npos) << shown;
    EXPECT_LT(took, milliseconds(row.withinMs));
    EXPECT_LE(fakeusb::listings - listings, 1);  // the drains and the hint share one listing of the bus
    for (const auto* device : fakeusb::Plugged()) EXPECT_FALSE(device->detached);
  }
}

TEST_F(FaultTest, Rcs380StaysInStepWithItsChip) {
  auto reader = Plug<fakeusb::Rcs380>(Demo());
  usb::Listing usb;
  auto transport = port100::Open("", usb);
  ASSERT_TRUE(transport) << transport.error().detail;
  // A command whose ACK and answer come after the host gave up on it: abandoned
  // and read out, so the next command reads its own answer (20 bytes with the system code).
  reader->lateCommand = reader->commands.size() + 1;
  EXPECT_EQ((*transport)->Exchange(Hex("0600FFFF0000"), milliseconds(20)).error().kind,
            reader::ErrorKind::Transmission);
  // Two frames no command asked for (a chip out of step): the command that meets them fails and reads them out.
  for (int i = 0; i < 2; ++i) reader->Queue(Hex("0000FFFFFF0600FAD70580000000A400"));
  EXPECT_FALSE((*transport)->Exchange(Hex("0600FFFF0100"), milliseconds(20)));
  const auto polled = (*transport)->Exchange(Hex("0600FFFF0100"), milliseconds(20));
  EXPECT_EQ(polled ? polled->size() : 0u, 20u);
  reader->card = nullptr;
  // 50 bytes of FeliCa frame make an InCommRF command of exactly 64 bytes.
  std::vector<std::uint8_t> frame(50, 0x00);
  frame[0] = 50;
  const auto answer = (*transport)->Exchange(frame, milliseconds(20));
  EXPECT_EQ(answer.error().kind, reader::ErrorKind::Timeout);  // the chip got it whole: the card did not answer
  const auto& writes = reader->writes;
  const auto whole = std::find_if(writes.begin(), writes.end(), [](const auto& w) { return w.size() == 64; });
  ASSERT_NE(whole, writes.end());
  EXPECT_TRUE((whole + 1)->empty());
  // A chip that takes only the first packet and NAKs the rest holds half a command: no silence.
  reader->takesAtMost = 64, frame.resize(frame[0] = 60);
  EXPECT_EQ((*transport)->Exchange(frame, milliseconds(20)).error().detail, "reader took part of a command");
}

// A PC/SC reader's answers, one a call: its bytes in hex, or a failure of the kind named; what it was sent, in hex.
class ScriptedChannel : public ccid::Channel {
 public:
  explicit ScriptedChannel(std::vector<std::string> answers) : answers_(std::move(answers)) {}
  reader::Expected<reader::Bytes> Transmit(std::span<const std::uint8_t> apdu) override {
    sent.push_back(testsupport::HexOf(apdu));
    const std::string answer = next_ < answers_.size() ? answers_[next_++] : "CardLost";
    if (answer == "CardLost") return reader::Fail(reader::ErrorKind::CardLost, "Card was removed.");
    if (answer == "NoReader") return reader::Fail(reader::ErrorKind::NoReader, "Reader is unavailable.");
    if (answer == "Transmission") return reader::Fail(reader::ErrorKind::Transmission, "Transaction failed.");
    return Hex(answer);
  }

  std::vector<std::string> sent;

 private:
  std::vector<std::string> answers_;
  std::size_t next_ = 0;
};

TEST(Negotiation, OnlyARefusalByStatusWordMovesOnAndOtherFailuresSayWhatHappened) {
  const std::string accepted = "C003009000 9000", refused = "C003016A81 9000", end = "FFC2000002820000";
  const std::tuple<std::vector<std::string>, std::string, std::string> cases[] = {
      // The dialects themselves are the libccid rigs' (RC-S300, ACR1252U, ACR122U).
      {{"6A81", "6A81", "6D00"}, "NoReader: the reader speaks none of the FeliCa dialects", "FF00000002D402"},
      {{"CardLost"}, "CardLost: Card was removed.", end},  // the card lifted as the session starts
      // A session that started is ended whatever befalls the switch (the reader pulled out).
      {{accepted, accepted, "NoReader", "NoReader"}, "NoReader: Reader is unavailable.", end},
      {{"6A81", "6A81", "Transmission"}, "Transmission: Transaction failed.", "FF00000002D402"}};
  for (const auto& [answers, outcome, last] : cases) {
    SCOPED_TRACE(outcome);
    ScriptedChannel channel(answers);
    const auto dialect = ccid::Negotiate(channel);
    const auto name = [](const auto& chosen) { return std::string(chosen->Name()); };
    EXPECT_EQ(testsupport::Outcome(dialect, name) + (dialect ? "" : ": " + dialect.error().detail), outcome);
    EXPECT_EQ(channel.sent.back(), last);
  }
  // A direct frame answered by a status word: a refusal of the dialect, or (a word the frames do not know) a silence.
  const std::uint8_t frame[] = {0x06, 0x00, 0x00, 0x0B, 0x00, 0x00};
  for (const auto& [word, outcome] : {std::pair{"6F00", "Timeout: the reader answered status 6F00 to a FeliCa frame"},
                                      {"6E00", "Transmission: the reader refuses FeliCa frames by direct transmit"}}) {
    ScriptedChannel acr1252u({accepted, accepted, refused, accepted, word});
    const auto answer = (*ccid::Negotiate(acr1252u))->Exchange(frame, milliseconds(10));
    EXPECT_EQ(testsupport::Outcome(answer, testsupport::HexOf) + ": " + answer.error().detail, outcome);
  }
}

// PC/SC: with the tests' pcscd, in the process of the PC/SC rigs.
class PcscFaultTest : public FaultTest {
 protected:
  void Place(emulator::PcscModel model) { rigs::PlaceInPcscReader(model, Demo()); }
  void TearDown() override { rigs::PlaceInPcscReader(emulator::PcscModel::Unknown, nullptr); }
};

// Another PC/SC program's connection to a reader, on a context of its own.
struct OtherProgram {
  explicit OtherProgram(emulator::PcscModel model, DWORD share = SCARD_SHARE_SHARED) {
    SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context);
    const auto name = rigs::Pcscd::ReaderName(model);
    SCardConnect(context, name.c_str(), share, SCARD_PROTOCOL_T1, &card, &protocol);
  }
  ~OtherProgram() { SCardEndTransaction(card, 0), SCardDisconnect(card, 0), SCardReleaseContext(context); }
  SCARDCONTEXT context = 0;
  SCARDHANDLE card = 0;
  DWORD protocol = 0;
};

long Entries(const char* folder) { return std::distance(std::filesystem::directory_iterator(folder), {}); }

TEST_F(PcscFaultTest, AnotherProgramHoldingAReaderNeverHoldsAPressPastTwoSeconds) {
  using emulator::PcscModel;
  const auto busy = [](const std::string& why) {
    return "パソリが見つかりません。 | felica_for_vb: " + rigs::Pcscd::ReaderName(PcscModel::Rcs300) + ": " + why +
           "\nCan't open reader writer.\n";
  };
  const std::tuple<PcscModel, DWORD, int, std::string> rows[] = {
      // held how, for how long, what a press shows
      {PcscModel::Rcs300, SCARD_SHARE_SHARED, 4000,
       busy("another PC/SC program is using the reader; press READ again")},
      {PcscModel::Rcs300, SCARD_SHARE_EXCLUSIVE, 2000,
       busy("another program holds the reader alone; close it and press "
            "READ again")},
      {PcscModel::Unknown, SCARD_SHARE_SHARED, 2500,
       " | "}};  // a contact card's reader held: the RC-S300 reads at once
  for (const auto& [held, share, holdMs, shows] : rows) {
    SCOPED_TRACE(shows);
    Place(PcscModel::Rcs300);
    ASSERT_TRUE(held != PcscModel::Unknown || rigs::TestPcscd().Place(held, emulator::CardFaults{}));
    std::promise<void> holding;
    std::thread other([&, held = held, share = share, holdMs = holdMs] {
      OtherProgram program(held, share);
      EXPECT_EQ(share == SCARD_SHARE_SHARED ? SCardBeginTransaction(program.card) : SCARD_S_SUCCESS, SCARD_S_SUCCESS);
      holding.set_value();
      std::this_thread::sleep_for(milliseconds(holdMs));
    });
    holding.get_future().wait();
    const long threads = Entries("/proc/self/task"), files = Entries("/proc/self/fd");
    for (int press = 0; press < holdMs / 1500; ++press) {  // each ends in time; they leave one connect waiting at most
      EXPECT_EQ(Press("pcsc"), shows);
      EXPECT_LT(took, milliseconds(held == PcscModel::Rcs300 ? 2000 : 800));
    }
    EXPECT_LE(Entries("/proc/self/task"), threads + 1);
    EXPECT_LE(Entries("/proc/self/fd"), files + 1);  // its context's connection to pcscd
    other.join();
    std::this_thread::sleep_for(milliseconds(300));  // the abandoned connect has had its turn, and let go at once
    EXPECT_EQ(Press("pcsc"), " | ");
  }
}

// The whole test program's SCardBeginTransaction, SCardConnect and SCardTransmit (pcsc-lite's behind them). Armed
// (`begins` at 0), the begins are counted, and another program resets the card just before the first; what
// `connects` holds is pcscd's answer to the next connect; once `transmits` has counted down to 0, `atTransmit` comes
// before each transmit, and answers in its place unless it returns success.
int begins = -1;
std::atomic<int> transmits = -1;
std::function<LONG()> atTransmit;
LONG connects = SCARD_S_SUCCESS;

}  // namespace

extern "C" LONG SCardBeginTransaction(SCARDHANDLE card) {
  static const auto begin = reinterpret_cast<decltype(&SCardBeginTransaction)>(dlsym(RTLD_NEXT, __func__));
  if (begins >= 0 && begins++ == 0) {
    OtherProgram other(emulator::PcscModel::Rcs300);
    SCardReconnect(other.card, SCARD_SHARE_SHARED, SCARD_PROTOCOL_T1, SCARD_RESET_CARD, &other.protocol);
  }
  return begin(card);
}

extern "C" LONG SCardConnect(SCARDCONTEXT context, LPCSTR reader, DWORD share, DWORD protocols, LPSCARDHANDLE card,
                             LPDWORD protocol) {
  static const auto connect = reinterpret_cast<decltype(&SCardConnect)>(dlsym(RTLD_NEXT, __func__));
  if (const LONG answer = std::exchange(connects, SCARD_S_SUCCESS); answer != SCARD_S_SUCCESS) return answer;
  return connect(context, reader, share, protocols, card, protocol);
}

extern "C" LONG SCardTransmit(SCARDHANDLE card, const SCARD_IO_REQUEST* pci, LPCBYTE apdu, DWORD size,
                              SCARD_IO_REQUEST* received, LPBYTE answer, LPDWORD answerSize) {
  static const auto transmit = reinterpret_cast<decltype(&SCardTransmit)>(dlsym(RTLD_NEXT, __func__));
  if (const LONG error = transmits == 0 ? atTransmit() : SCARD_S_SUCCESS; error != SCARD_S_SUCCESS) return error;
  return transmits -= transmits > 0, transmit(card, pci, apdu, size, received, answer, answerSize);
}

namespace {

TEST_F(PcscFaultTest, ACardResetBeforeThePressTakesItsTransactionIsReadAll) {
  Place(emulator::PcscModel::Rcs300);
  Plug<fakeusb::Rcs380>(nullptr);  // auto mode: the RC-S380 opens first, but without a card
  begins = 0;
  EXPECT_EQ(Press(nullptr), " | ");
  EXPECT_EQ(std::exchange(begins, -1), 2);  // the transaction taken again on the card reconnected
}

// What pcscd or another program does in the middle of a press, and what the press says of it, within 2 s.
TEST_F(PcscFaultTest, WhatBefallsAPressIsNamed) {
  using emulator::PcscModel;
  std::thread other;
  const auto killPcscd = [] {
    return kill(rigs::TestPcscd().Pid(), SIGKILL), waitpid(rigs::TestPcscd().Pid(), nullptr, 0), SCARD_S_SUCCESS;
  };
  const auto takeReader = [&other] {  // the card lifted, and another program takes the reader pcscd then frees
    EXPECT_TRUE(rigs::TestPcscd().Place(PcscModel::Rcs300, std::nullopt));
    std::promise<void> holding;
    other = std::thread([&holding] {
      OtherProgram direct(PcscModel::Rcs300, SCARD_SHARE_DIRECT);
      EXPECT_EQ(SCardBeginTransaction(direct.card), SCARD_S_SUCCESS);
      holding.set_value();
      std::this_thread::sleep_for(milliseconds(3000));
    });
    return holding.get_future().wait(), SCARD_S_SUCCESS;
  };
  // clang-format off
  const std::tuple<PcscModel, LONG, int, std::function<LONG()>, const char*> rows[] = {  // at connect; at transmit N
      // The session's first step meets no reader: no escape, for which libccid waits up to 30 s.
      {PcscModel::Rcs300Escape, 0, 1, [] { return SCARD_E_READER_UNAVAILABLE; }, ": the reader was unplugged"},
      {PcscModel::Rcs300, SCARD_W_SECURITY_VIOLATION, -1, nullptr, "access_card by a polkit rule"},  // pcscd 2 says so
      {PcscModel::Rcs300, SCARD_F_COMM_ERROR, -1, nullptr, "access_card by a polkit rule"},  // pcscd 1.9 hangs up
      {PcscModel::Rcs300, 0, 8, killPcscd, "pcsc: pcscd went away"},  // after the pass read
      {PcscModel::Rcs300, 0, 8, takeReader, "no answer within the press's time"}};
  // clang-format on
  for (const auto& [model, connect, before, then, says] : rows) {
    SCOPED_TRACE(says);
    Place(model);
    connects = connect, transmits = before, atTransmit = then;
    EXPECT_NE(Press("pcsc").find(says), std::string::npos);
    EXPECT_LT(took, milliseconds(2000));
    transmits = -1;
    if (other.joinable()) other.join();
  }
}

TEST_F(PcscFaultTest, TheRcs300ReadsWhateverSessionOrEscapeSettingItMeets) {
  using emulator::PcscModel;
  struct Row {
    bool escapeAllowed;  // libccid's ifdDriverOptions
    PcscModel model;
    int card;          // 0: none; -1: it stays; else the commands it answers before it leaves
    const char* tell;  // what the reader is told to do
    std::string shows;
    bool contactCardBeside = false;  // in the OMNIKEY 3x21, while the RC-S300 finds its card again
  };
  const Row rows[] = {
      {true, PcscModel::Rcs300, -1, "leftover", " | "},         // a killed program's session is ended first
      {true, PcscModel::Rcs300, -1, "dropsatfieldoff", " | "},  // the session connects anew
      {true, PcscModel::Rcs300, -1, "dropsatfieldoff", " | ", true},
      {true, PcscModel::Rcs300, -1, "slowfield", " | "},  // its first polling missed: tried again in the same field
      {true, PcscModel::Rcs300, 2, nullptr,               // lifted after the pass read
       "読み込みエラーです。 | felica_for_vb: pcsc: No smart card inserted.\nfelica error type: 0\nrw error type: 8\n"},
      {true, PcscModel::Rcs300, 2, "fails",  // the reader fails there instead, the card still in the field
       "読み込みエラーです。 | felica_for_vb: pcsc: Transaction failed.\nfelica error type: 0\nrw error type: 7\n"},
      {false, PcscModel::Rcs300Escape, -1, nullptr,
       "パソリが見つかりません。 | felica_for_vb: " + rigs::Pcscd::ReaderName(PcscModel::Rcs300Escape) +
           ": the reader refuses FeliCa commands in a transmit, and libccid does not pass them on as a CCID escape: "
           "add 0x0001 to ifdDriverOptions in /etc/libccid_Info.plist (it lets every PC/SC program send escapes to "
           "every CCID reader), then restart pcscd\nCan't open reader writer.\n"},
      {false, PcscModel::Rcs300Escape, 0, nullptr,  // without a card there is nothing to say about the escape
       "Q.A.V.O.カードをパソリにおいてください。 | felica error type: 0\nrw error type: 5\n"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.shows);
    auto& pcscd = rigs::TestPcscd(row.escapeAllowed);
    const auto faults = row.card < 0 ? emulator::CardFaults{} : emulator::LeavesAfter(row.card);
    rigs::PlaceInPcscReader(
        row.model, row.card ? std::make_shared<FelicaCard>(emulator::SampleCard("demo-card.json"), faults) : nullptr);
    if (row.tell) {
      ASSERT_TRUE(pcscd.Tell(row.tell, row.model));
    }
    if (row.contactCardBeside) {
      ASSERT_TRUE(pcscd.Place(PcscModel::Unknown, emulator::CardFaults{}));
    }
    EXPECT_EQ(Press("pcsc"), row.shows);
    EXPECT_TRUE(pcscd.Tell("closed", row.model));  // the reader's session ended, with the card there or gone
  }
}

}  // namespace
