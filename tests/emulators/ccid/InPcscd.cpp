// The USB bus of the tests' pcscd: loaded into it as its libusb-1.0 (through
// LD_LIBRARY_PATH), so that the stock libccid drives these readers as it
// drives real ones. QAVO_CCID_READERS names the readers to plug in, in bus
// order; the test places and takes away cards through the socket
// QAVO_CCID_CONTROL, one line a command, answered "ok":
//   place READER MAX_BLOCKS SILENT LEAVE_AFTER   the demo card (LEAVE_AFTER -1: it stays)
//   empty READER                                 the card leaves
//   leftover READER                              a killed program's session stays open
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <thread>

#include "emulators/ccid/CcidReader.h"

namespace {

using emulator::CcidReader;
using emulator::PcscModel;

std::vector<std::shared_ptr<CcidReader>>& Readers() {
  static std::vector<std::shared_ptr<CcidReader>> readers;
  return readers;
}

std::string Command(const std::string& line) {
  std::istringstream words(line);
  std::string verb;
  std::size_t index = 0;
  words >> verb >> index;
  if (index >= Readers().size()) return "no such reader";
  CcidReader& reader = *Readers()[index];
  if (verb == "empty") reader.Place(nullptr);
  if (verb == "leftover") reader.reader.session = true;
  if (verb != "place") return "ok";
  int leaveAfter = -1;
  emulator::CardFaults faults;
  words >> faults.maxBlocksPerRead >> faults.silentAboveLimit >> leaveAfter;
  if (leaveAfter >= 0) faults.leaveAfterCommands = leaveAfter;
  static const auto demo = emulator::SampleCard("demo-card.json");
  reader.Place(std::make_shared<emulator::FelicaCard>(demo, faults));
  return "ok";
}

void Serve(int listening) {
  for (int client; (client = accept(listening, nullptr, nullptr)) >= 0; close(client)) {
    char buffer[256];
    const ssize_t size = read(client, buffer, sizeof buffer - 1);
    if (size <= 0) continue;
    const std::string answer = Command(std::string(buffer, static_cast<std::size_t>(size))) + "\n";
    [[maybe_unused]] auto written = write(client, answer.data(), answer.size());
  }
}

[[gnu::constructor]] void PlugInTheReaders() {
  const char* models = std::getenv("QAVO_CCID_READERS");
  const char* control = std::getenv("QAVO_CCID_CONTROL");
  if (!models || !control) return;
  const std::pair<std::string, PcscModel> names[] = {
      {"rcs300", PcscModel::Rcs300},     {"rcs300escape", PcscModel::Rcs300Escape}, {"acr122u", PcscModel::Acr122u},
      {"acr1252u", PcscModel::Acr1252u}, {"transparent", PcscModel::Transparent},   {"unknown", PcscModel::Unknown}};
  std::istringstream list(models);
  for (std::string model; std::getline(list, model, ',');) {
    for (const auto& [name, value] : names) {
      if (name != model) continue;
      Readers().push_back(std::make_shared<CcidReader>(value));
      fakeusb::Plug(Readers().back());
    }
  }
  const int listening = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{AF_UNIX, {}};
  std::string(control).copy(address.sun_path, sizeof address.sun_path - 1);
  if (bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listening, 4) != 0)
    std::abort();
  std::thread(Serve, listening).detach();
}

}  // namespace
