// The USB bus of the tests' pcscd, loaded as its libusb-1.0 (LD_LIBRARY_PATH): the stock libccid drives one reader
// of each model, in PcscModel's order from address 2 on. The test places and takes away cards through the socket
// QAVO_CCID_CONTROL, one line a command, answered "ok":
//   place READER MAX_BLOCKS SILENT LEAVE_AFTER   the demo card (LEAVE_AFTER -1: it stays)
//   empty READER                                 the card leaves
//   leftover READER                              a killed program's session stays open
//   dropsatfieldoff READER                       the field switched off in a session drops the card a moment
//   slowfield READER                             its field takes 40 ms to hear the card after RF on
//   closed READER                                answered only when no transparent session is open
//   fails READER                                 the reader fails once where its card falls silent
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <thread>

#include "emulators/ccid/CcidReader.h"

namespace {

using emulator::CcidReader;

// One command a connection; the demo card with the faults asked for.
void Serve(int listening, std::vector<std::shared_ptr<CcidReader>> readers) {
  static const auto demo = emulator::SampleCard("demo-card.json");
  for (int client; (client = accept(listening, nullptr, nullptr)) >= 0; close(client)) {
    char line[256] = {};
    if (read(client, line, sizeof line - 1) <= 0) continue;
    std::istringstream words(line);
    std::string verb;
    std::size_t index = readers.size();
    int leaveAfter = -1;
    emulator::CardFaults faults;
    words >> verb >> index >> faults.maxBlocksPerRead >> faults.silentAboveLimit >> leaveAfter;
    if (index >= readers.size()) continue;
    if (leaveAfter >= 0) faults.leaveAfterCommands = leaveAfter;
    if (verb == "place") readers[index]->Place(std::make_shared<emulator::FelicaCard>(demo, faults));
    if (verb == "empty") readers[index]->Place(nullptr);
    if (verb == "leftover") readers[index]->reader.session = true;
    if (verb == "dropsatfieldoff") readers[index]->reader.dropsCardAtFieldOff = true;
    if (verb == "slowfield") readers[index]->reader.fieldSettles = std::chrono::milliseconds(40);
    if (verb == "fails") readers[index]->failsWhereTheCardFallsSilent = true;
    if (verb == "closed" && readers[index]->reader.session) continue;
    [[maybe_unused]] auto written = write(client, "ok\n", 3);
  }
}

[[gnu::constructor]] void PlugInTheReaders() {
  const char* control = std::getenv("QAVO_CCID_CONTROL");
  if (!control) return;
  std::vector<std::shared_ptr<CcidReader>> readers;
  for (int model = 0; model < emulator::kPcscModels; ++model) {
    readers.push_back(std::make_shared<CcidReader>(static_cast<emulator::PcscModel>(model)));
    fakeusb::Plug(readers.back());
  }
  const int listening = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{AF_UNIX, {}};
  std::string(control).copy(address.sun_path, sizeof address.sun_path - 1);
  if (bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listening, 4) != 0)
    std::abort();
  std::thread(Serve, listening, std::move(readers)).detach();
}

}  // namespace
