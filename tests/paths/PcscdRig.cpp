#include "paths/PcscdRig.h"

#include <PCSC/winscard.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

namespace rigs {
namespace {

using namespace std::chrono;
using emulator::PcscModel;

// As the build's reader.conf names them, in PcscModel's order.
constexpr const char* kNames[] = {"HID Global OMNIKEY 3x21",         "HID Global OMNIKEY 5022",
                                  "SONY FeliCa RC-S300/S (0000001)", "SONY FeliCa RC-S300/S (0000002)",
                                  "ACS ACR122U PICC Interface",      "ACS ACR1252 Dual Reader PICC"};

}  // namespace

std::string Pcscd::ReaderName(PcscModel model) {  // pcscd numbers the readers in the order it adds them
  const int index = static_cast<int>(model);
  return std::string(kNames[index]) + " 0" + std::to_string(index) + " 00";
}

Pcscd::Pcscd(bool escapeAllowed) : escapeAllowed_(escapeAllowed) {
  char directory[] = "/tmp/qavo-pcscd-XXXXXX";
  directory_ = mkdtemp(directory);
  pid_ = fork();
  if (pid_ == 0) {
    const int log = open((directory_ + "/pcscd.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(log, STDOUT_FILENO);
    dup2(log, STDERR_FILENO);
    setenv("LD_LIBRARY_PATH", QAVO_PCSCD_USB_DIR, 1);
    // libccid reads its options from the bundle under PCSCLITE_HP_DROPDIR; the build made one of each.
    setenv("PCSCLITE_HP_DROPDIR", escapeAllowed ? QAVO_PCSCD_DIR "/escape" : QAVO_PCSCD_DIR "/stock", 1);
    setenv("QAVO_CCID_CONTROL", (directory_ + "/control").c_str(), 1);
    execl("/usr/sbin/pcscd", "pcscd", "--foreground", "--config", QAVO_PCSCD_DIR "/conf", QAVO_PCSCD_POLKIT_OPTION,
          static_cast<char*>(nullptr));
    _exit(127);
  }
  // Up once the last reader is listed (pcscd adds them one by one).
  const auto deadline = steady_clock::now() + seconds(10);
  while (!ready_ && steady_clock::now() < deadline) {
    SCARDCONTEXT context = 0;
    if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) == SCARD_S_SUCCESS) {
      char names[2048];
      DWORD size = sizeof names;
      ready_ = SCardListReaders(context, nullptr, names, &size) == SCARD_S_SUCCESS &&
               std::string(names, size).find(ReaderName(PcscModel::Acr1252u)) != std::string::npos;
      SCardReleaseContext(context);
    }
    if (!ready_) std::this_thread::sleep_for(milliseconds(50));
  }
  if (!ready_) problem_ = "pcscd did not come up with the emulated readers (log in " + directory_ + ")";
}

bool Pcscd::Tell(const std::string& verb, PcscModel model, const std::string& more) const {
  const std::string command = verb + " " + std::to_string(static_cast<int>(model)) + more;
  const int s = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{AF_UNIX, {}};
  (directory_ + "/control").copy(address.sun_path, sizeof address.sun_path - 1);
  char answer[16] = {};
  const bool told = connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                    write(s, command.data(), command.size()) == static_cast<ssize_t>(command.size()) &&
                    read(s, answer, sizeof answer - 1) > 0 && std::string(answer) == "ok\n";
  close(s);
  return told;
}

bool Pcscd::Place(PcscModel model, std::optional<emulator::CardFaults> card) {
  std::ostringstream faults;
  if (card)
    faults << ' ' << card->maxBlocksPerRead << ' ' << card->silentAboveLimit << ' '
           << card->leaveAfterCommands.value_or(-1);
  if (!Tell(card ? "place" : "empty", model, faults.str())) return false;
  // Seen as any PC/SC program sees it: SCardGetStatusChange.
  SCARDCONTEXT context = 0;
  if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) != SCARD_S_SUCCESS) return false;
  const std::string name = ReaderName(model);
  SCARD_READERSTATE state{name.c_str(), nullptr, SCARD_STATE_UNAWARE, 0, 0, {}};
  const auto deadline = steady_clock::now() + seconds(5);
  bool seen = false;
  while (!seen && steady_clock::now() < deadline) {
    if (SCardGetStatusChange(context, 500, &state, 1) == SCARD_S_SUCCESS) state.dwCurrentState = state.dwEventState;
    seen = ((state.dwEventState & SCARD_STATE_PRESENT) != 0) == card.has_value();
  }
  SCardReleaseContext(context);
  return seen;
}

Pcscd::~Pcscd() {
  if (pid_ > 0) {  // pcscd waits for its readers' polling threads, which may sit out their whole wait: not here
    kill(pid_, SIGTERM);
    for (int i = 0; i < 40 && waitpid(pid_, nullptr, WNOHANG) == 0; ++i) std::this_thread::sleep_for(milliseconds(50));
    if (kill(pid_, SIGKILL) == 0) waitpid(pid_, nullptr, 0);
  }
  std::filesystem::remove_all(directory_);
}

}  // namespace rigs
