// The seven C functions through libfelica_for_vb.so, as any program calls
// them: their records, their error numbers and their call order.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <linux/capability.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <thread>

#include "felica_for_vb.h"
#include "support/Scratch.h"

// This program's SCardEstablishContext (pcsc-lite's otherwise): for the reader "pcsc:throwing" it throws, as none does.
extern "C" long SCardEstablishContext(unsigned long scope, const void* one, const void* two, long* context) {
  if (const char* reader = std::getenv("FELICA_READER"); reader && std::string(reader) == "pcsc:throwing")
    throw std::bad_alloc();
  static const auto real = reinterpret_cast<decltype(&SCardEstablishContext)>(dlsym(RTLD_NEXT, __func__));
  return real(scope, one, two, context);
}

namespace {

std::array<std::int32_t, 2> LastErrors() {
  std::array<std::int32_t, 2> errors{-1, -1};  // FeliCa, reader
  get_last_error_types(&errors[0], &errors[1]);
  return errors;
}

class CApiTest : public testing::Test {
 protected:
  void SetUp() override {
    setenv("FELICA_READER", "sim:" QAVO_SAMPLES_DIR "/demo-card.json", 1);
    setenv("PCSCLITE_CSOCK_NAME", testsupport::Scratch("pcscd.comm").c_str(), 1);  // no pcscd but the test's own
  }
  void TearDown() override { dispose_library(); }
  bool OpenAndPoll() {
    std::array<std::uint8_t, 2> systemCode{0x00, 0x0B};
    PollingRecord polling{systemCode.data(), 0};
    CardInformationRecord info{idm.data(), pmm.data()};
    std::uint8_t cards = 0;
    return initialize_library() && open_reader_writer_auto() &&
           polling_and_get_card_information(&polling, &cards, &info) && cards == 1;
  }
  std::uint8_t Read(std::uint16_t service, int blocks) {
    std::array<std::uint8_t, 2> services{static_cast<std::uint8_t>(service & 0xFF),
                                         static_cast<std::uint8_t>(service >> 8)};
    std::array<std::uint8_t, 40> list{};
    for (int k = 0; k < 20; ++k) list[2 * k] = 0x80, list[2 * k + 1] = static_cast<std::uint8_t>(k);
    ReadBlockRequest request{idm.data(), 1, services.data(), static_cast<std::uint8_t>(blocks), list.data()};
    data.fill(0xEE);  // what the library must not touch stays EE
    flags = {0x55, 0x55, 0x55};
    ReadBlockResponse response{&flags[0], &flags[1], &flags[2], data.data()};
    return read_block_without_encryption(&request, &response);
  }
  // One failing open: the error number and what standard error said.
  std::pair<std::int32_t, std::string> FailToOpen() {
    EXPECT_TRUE(initialize_library());
    testing::internal::CaptureStderr();
    EXPECT_FALSE(open_reader_writer_auto());
    return {LastErrors()[1], testing::internal::GetCapturedStderr()};
  }

  std::array<std::uint8_t, 8> idm{}, pmm{};
  std::array<std::uint8_t, 400> data{};
  std::array<std::uint8_t, 3> flags{};  // status flags 1 and 2, blocks read
};

TEST_F(CApiTest, WholeCycleWritesExactlyWhatWasAskedFor) {
  ASSERT_TRUE(OpenAndPoll());
  EXPECT_EQ(idm, (std::array<std::uint8_t, 8>{0x01, 0x12, 0x04, 0x1E, 0x5A, 0x3C, 0x7D, 0x01}));
  EXPECT_EQ(pmm, (std::array<std::uint8_t, 8>{0x01, 0x20, 0x22, 0x04, 0x27, 0x67, 0x4E, 0xFF}));
  // The first and last byte of the last block each read asks for, in the demo card.
  const std::tuple<std::uint16_t, int, std::uint8_t, std::uint8_t> reads[] = {
      {0x020B, 3, 0x00, 0x00}, {0x0417, 2, 0x00, 0x00}, {0x060F, 20, 0x01, 0x10}};
  for (const auto& [service, blocks, first, last] : reads) {
    ASSERT_TRUE(Read(service, blocks)) << service;
    EXPECT_EQ(data[16 * (blocks - 1)], first) << service;
    EXPECT_EQ(data[16 * blocks - 1], last) << service;
    for (std::size_t i = 16 * blocks; i < data.size(); ++i) ASSERT_EQ(data[i], 0xEE) << "byte " << i;
    EXPECT_EQ(flags, (std::array<std::uint8_t, 3>{0, 0, static_cast<std::uint8_t>(blocks)}));
  }
  EXPECT_TRUE(close_reader_writer());
  EXPECT_TRUE(dispose_library());
  EXPECT_EQ(LastErrors()[1], FELICA_RW_OK);
}

TEST_F(CApiTest, FailuresGiveTheirNumbers) {
  ASSERT_TRUE(OpenAndPoll());
  EXPECT_FALSE(Read(0x1234, 1));  // a service the card lacks: the card's status flags
  EXPECT_EQ(flags, (std::array<std::uint8_t, 3>{0x01, 0xA6, 0}));
  EXPECT_EQ(data[0], 0xEE);
  EXPECT_EQ(LastErrors(), (std::array<std::int32_t, 2>{0x01A6, FELICA_RW_CARD_ERROR}));

  EXPECT_FALSE(read_block_without_encryption(nullptr, nullptr));
  EXPECT_EQ(LastErrors()[1], FELICA_RW_INVALID_ARGUMENT);
  std::uint8_t cards = 0;
  EXPECT_FALSE(polling_and_get_card_information(nullptr, &cards, nullptr));
  EXPECT_EQ(LastErrors()[1], FELICA_RW_INVALID_ARGUMENT);
  std::array<std::uint8_t, 2> services{0x0B, 0x02};
  std::array<std::uint8_t, 4> list{0x81, 0x00, 0x80, 0x01};  // service index 1 of a one-service list
  ReadBlockRequest request{idm.data(), 1, services.data(), 2, list.data()};
  ReadBlockResponse response{&flags[0], &flags[1], &flags[2], data.data()};
  EXPECT_FALSE(read_block_without_encryption(&request, &response));
  EXPECT_EQ(LastErrors()[1], FELICA_RW_INVALID_ARGUMENT);
  EXPECT_TRUE(get_last_error_types(nullptr, nullptr));
}

TEST_F(CApiTest, CallsOutOfOrderFailWithoutHarm) {
  dispose_library();
  EXPECT_FALSE(open_reader_writer_auto());
  EXPECT_EQ(LastErrors()[1], FELICA_RW_NOT_INITIALIZED);
  EXPECT_FALSE(close_reader_writer());
  EXPECT_FALSE(dispose_library());
  ASSERT_TRUE(initialize_library());
  EXPECT_FALSE(Read(0x020B, 1));
  EXPECT_EQ(LastErrors()[1], FELICA_RW_NOT_OPEN);
  ASSERT_TRUE(OpenAndPoll());
  ASSERT_TRUE(initialize_library());  // again, as after a failed close: no reader is left open
  EXPECT_FALSE(Read(0x020B, 1));
  EXPECT_EQ(LastErrors()[1], FELICA_RW_NOT_OPEN);
}

// Root opens any file: without the capabilities that let it, it meets the file's mode as a user does.
void DropFileCapabilities() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct caps[2]{};
  syscall(SYS_capget, &header, caps);
  caps[0].effective &= ~(1u << CAP_DAC_OVERRIDE | 1u << CAP_DAC_READ_SEARCH);
  syscall(SYS_capset, &header, caps);
}

TEST_F(CApiTest, OpenFailuresSayTheirCauseInOneLine) {
  const std::string unreadable = testsupport::Scratch("unreadable.json"), xml = testsupport::Scratch("export.json");
  std::ofstream(unreadable) << "{}";
  std::filesystem::permissions(unreadable, std::filesystem::perms::none);
  DropFileCapabilities();
  std::ofstream(xml) << "<card/>";
  // A pcscd that polkit tells to refuse this program hangs up with the version message unread (8 bytes of header, 12
  // of body: pcsc-lite then meets ECONNRESET), once that message is in, as a real pcscd waits for polkit.
  const int refusing = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{AF_UNIX, {}};
  testsupport::Scratch("pcscd.comm").copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(bind(refusing, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  listen(refusing, 4);
  std::thread daemon([refusing] {
    char asked[64];
    for (int client; (client = accept(refusing, nullptr, nullptr)) >= 0; close(client)) {
      for (ssize_t n; (n = recv(client, asked, sizeof asked, MSG_PEEK)) > 0 && n < 20;)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  const std::tuple<std::string, std::int32_t, std::string> cases[] = {
      {"pcsc", FELICA_RW_READER_ACCESS,
       "pcscd refused this program: polkit lets only the user at the machine's own seat use PC/SC; over SSH or from a "
       "service, allow org.debian.pcsc-lite.access_pcsc and org.debian.pcsc-lite.access_card by a polkit rule"},
      {"pcsc", FELICA_RW_NO_READER, "pcscd is not running"},  // the daemon gone
      {"pcsc:throwing", FELICA_RW_TRANSMISSION, "felica_for_vb: internal error: std::bad_alloc"},
      {"sim:/nonexistent/card.json", FELICA_RW_BAD_CONFIGURATION,
       "card image /nonexistent/card.json: cannot be opened: No such file or directory"},
      {"sim:" + unreadable, FELICA_RW_BAD_CONFIGURATION, "unreadable.json: cannot be opened: Permission denied"},
      {"sim:/", FELICA_RW_BAD_CONFIGURATION, "card image /: cannot be read: Is a directory"},
      {"sim:" + xml, FELICA_RW_BAD_CONFIGURATION, "export.json: an XML export; only JSON exports are read"},
      {"sim:", FELICA_RW_BAD_CONFIGURATION, "needs a card image path"},
      {"bluetooth", FELICA_RW_BAD_CONFIGURATION, "expected sim:PATH"},
      {"", FELICA_RW_NO_READER, "no reader found"}};  // unset: never a simulated card
  for (const auto& [choice, number, says] : cases) {
    SCOPED_TRACE(choice);
    choice.empty() ? unsetenv("FELICA_READER") : setenv("FELICA_READER", choice.c_str(), 1);
    const auto [error, lines] = FailToOpen();
    EXPECT_EQ(error, number);
    EXPECT_NE(lines.find(says), std::string::npos) << lines;
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 1) << lines;
    if (daemon.joinable())  // the refusing daemon served the first row alone
      shutdown(refusing, SHUT_RDWR), daemon.join(), close(refusing), unlink(testsupport::Scratch("pcscd.comm").c_str());
  }
}

}  // namespace
