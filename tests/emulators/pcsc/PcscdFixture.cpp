#include "emulators/pcsc/PcscdFixture.h"

#include <PCSC/winscard.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace emulator {
namespace {

constexpr const char* kVpcdDriver = "/usr/lib/pcsc/drivers/serial/libifdvpcd.so";

int FreePort() {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t size = sizeof address;
  getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
  close(s);
  return ntohs(address.sin_port);
}

bool SomePcscdAnswers() {
  SCARDCONTEXT context = 0;
  if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) != SCARD_S_SUCCESS) return false;
  SCardReleaseContext(context);
  return true;
}

}  // namespace

Pcscd::Pcscd() {
  if (!std::filesystem::exists(kVpcdDriver)) {
    problem_ = "vsmartcard-vpcd is not installed";
    return;
  }
  if (SomePcscdAnswers()) {
    problem_ = "a pcscd answers already: run these tests through paths/in-namespace.sh";
    return;
  }
  // vpcd would take every other port next to it for a second reader: keep to even ports apart.
  port_ = FreePort();
  char directory[] = "/tmp/qavo-pcscd-XXXXXX";
  directory_ = mkdtemp(directory);
  std::ofstream(directory_ + "/vpcd") << "FRIENDLYNAME \"Virtual PCD\"\n"
                                      << "DEVICENAME /dev/null:" << port_ << "\n"
                                      << "LIBPATH " << kVpcdDriver << "\n"
                                      << "CHANNELID " << port_ << "\n";
  pid_ = fork();
  if (pid_ == 0) {
    const int log = open((directory_ + "/pcscd.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(log, STDOUT_FILENO);
    dup2(log, STDERR_FILENO);
    execl("/usr/sbin/pcscd", "pcscd", "--foreground", "--config", directory_.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    SCARDCONTEXT context = 0;
    if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) == SCARD_S_SUCCESS) {
      // Wait for the reader list to change instead of polling it in a loop.
      SCARD_READERSTATE notification{};
      notification.szReader = "\\\\?PnP?\\Notification";
      char names[1024];
      DWORD size = sizeof names;
      if (SCardListReaders(context, nullptr, names, &size) == SCARD_S_SUCCESS && size > 1) {
        reader_ = names;
        ready_ = true;
      } else {
        SCardGetStatusChange(context, 1000, &notification, 1);
      }
      SCardReleaseContext(context);
      if (ready_) return;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the daemon's socket is not up yet
    }
  }
  problem_ = "pcscd did not come up with the virtual reader (log in " + directory_ + ")";
}

bool Pcscd::WaitForCard(bool present, int timeoutMs) const {
  SCARDCONTEXT context = 0;
  if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) != SCARD_S_SUCCESS) return false;
  SCARD_READERSTATE state{};
  state.szReader = reader_.c_str();
  state.dwCurrentState = SCARD_STATE_UNAWARE;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  bool reached = false;
  while (!reached && std::chrono::steady_clock::now() < deadline) {
    if (SCardGetStatusChange(context, 500, &state, 1) == SCARD_S_SUCCESS) {
      state.dwCurrentState = state.dwEventState;
    }
    reached = ((state.dwEventState & SCARD_STATE_PRESENT) != 0) == present;
  }
  SCardReleaseContext(context);
  return reached;
}

Pcscd::~Pcscd() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  if (!directory_.empty()) std::filesystem::remove_all(directory_);
}

}  // namespace emulator
