#include "paths/Rigs.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>

#include "emulators/Pn532Uart.h"
#include "emulators/pcsc/PcscdFixture.h"
#include "emulators/pcsc/VirtualReader.h"
#include "emulators/usb/UsbReaders.h"
#include "support/Hex.h"
#include "support/Scratch.h"

namespace rigs {
namespace {

using emulator::FelicaCard;

template <typename Device, typename... Args>
void PlugIn(const char* felicaReader, Args&&... args) {
  fakeusb::UnplugAll();
  fakeusb::Plug(std::make_shared<Device>(std::forward<Args>(args)...));
  setenv("FELICA_READER", felicaReader, 1);
}

}  // namespace

std::string WriteSimImage(const emulator::CardContent& content, const emulator::CardFaults& faults) {
  nlohmann::json services = nlohmann::json::object();
  for (const auto& [code, blocks] : content.services) {
    nlohmann::json map = nlohmann::json::object();
    for (std::size_t k = 0; k < blocks.size(); ++k) map[std::to_string(k)] = {{"data", testsupport::HexOf(blocks[k])}};
    services[std::to_string(code)] = {{"blocksMap", map}};
  }
  nlohmann::json image = {
      {"tagId", testsupport::HexOf(content.idm)},
      {"felica",
       {{"pMm", testsupport::HexOf(content.pmm)},
        {"systems", {{std::to_string(content.systemCode), {{"services", services}}}}}}},
      {"readerSimulation",
       {{"maxBlocksPerRead", faults.maxBlocksPerRead}, {"silentAboveLimit", faults.silentAboveLimit}}}};
  if (faults.leaveAfterCommands) image["readerSimulation"]["removeAfterCommands"] = *faults.leaveAfterCommands;
  const std::string path = testsupport::Scratch("rig-card.json");
  std::ofstream(path) << image.dump();
  return path;
}

std::vector<Rig> LocalRigs() {
  using emulator::Pn53xModel;
  static std::unique_ptr<emulator::Pn532Uart> uart;
  return {
      {"Sim",
       [](std::shared_ptr<FelicaCard> card) {
         // The simulated reader plays an image; no image means no card.
         const emulator::CardContent none{};
         const auto path = WriteSimImage(card ? card->Content() : none, card ? card->Faults() : emulator::CardFaults{});
         if (!card) {
           std::ofstream(path)
               << R"({"tagId": "0000000000000000", "felica": {"systems": {"11": {}}}, "readerSimulation": {"noCard": true}})";
         }
         setenv("FELICA_READER", ("sim:" + path).c_str(), 1);
       }},
      {"Rcs380", [](std::shared_ptr<FelicaCard> card) { PlugIn<fakeusb::Rcs380>("port100", card); }},
      {"LibnfcRcs360",
       [](std::shared_ptr<FelicaCard> card) { PlugIn<fakeusb::Pn53xUsb>("libnfc", Pn53xModel::Rcs956, card); }},
      {"LibnfcPn533",
       [](std::shared_ptr<FelicaCard> card) { PlugIn<fakeusb::Pn53xUsb>("libnfc", Pn53xModel::Pn533, card); }},
      {"LibnfcAcr122u", [](std::shared_ptr<FelicaCard> card) { PlugIn<fakeusb::Acr122Usb>("libnfc", card); }},
      {"LibnfcPn532Uart",
       [](std::shared_ptr<FelicaCard> card) {
         fakeusb::UnplugAll();
         uart.reset();
         uart = std::make_unique<emulator::Pn532Uart>(card);
         setenv("FELICA_READER", ("libnfc:" + uart->Connstring()).c_str(), 1);
       }},
  };
}

emulator::Pcscd& TestPcscd() {
  static emulator::Pcscd pcscd;
  return pcscd;
}

std::vector<Rig> PcscRigs() {
  using emulator::PcscModel;
  static std::unique_ptr<emulator::VirtualReader> reader;
  auto rig = [](const char* name, PcscModel model) {
    return Rig{name, [model](std::shared_ptr<FelicaCard> card) {
                 emulator::Pcscd& pcscd = TestPcscd();
                 ASSERT_TRUE(pcscd.Running()) << pcscd.Problem();
                 reader.reset();
                 pcscd.WaitForCard(false);
                 fakeusb::UnplugAll();
                 setenv("FELICA_READER", "pcsc", 1);
                 if (!card) return;
                 reader = std::make_unique<emulator::VirtualReader>(pcscd.CardPort(), model, card);
                 pcscd.WaitForCard(true);
               }};
  };
  return {rig("PcscRcs300", PcscModel::Rcs300), rig("PcscTransparent", PcscModel::Transparent),
          rig("PcscAcr122u", PcscModel::Acr122u), rig("PcscAcr1252u", PcscModel::Acr1252u)};
}

}  // namespace rigs
