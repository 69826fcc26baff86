#include "paths/Rigs.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "emulators/Pn532Uart.h"
#include "emulators/usb/UsbReaders.h"
#include "support/Scratch.h"

namespace rigs {
namespace {

using Card = std::shared_ptr<emulator::FelicaCard>;

template <typename Device, typename... Args>
void PlugIn(const char* felicaReader, Args&&... args) {
  fakeusb::UnplugAll();
  fakeusb::Plug(std::make_shared<Device>(std::forward<Args>(args)...));
  setenv("FELICA_READER", felicaReader, 1);
}

}  // namespace

std::vector<Rig> LocalRigs() {
  using emulator::Pn53xModel;
  static std::unique_ptr<emulator::Pn532Uart> uart;
  return {
      {"Sim",
       [](Card card) {
         auto image = nlohmann::json::parse(std::ifstream(QAVO_SAMPLES_DIR "/demo-card.json"));
         const auto faults = card ? card->Faults() : emulator::CardFaults{};
         auto& settings = image["readerSimulation"];
         settings = {{"noCard", !card}, {"maxBlocksPerRead", faults.maxBlocksPerRead}};
         settings["silentAboveLimit"] = faults.silentAboveLimit;
         if (faults.leaveAfterCommands) settings["removeAfterCommands"] = *faults.leaveAfterCommands;
         std::ofstream(testsupport::Scratch("rig-card.json")) << image.dump();
         setenv("FELICA_READER", ("sim:" + testsupport::Scratch("rig-card.json")).c_str(), 1);
       }},
      {"Rcs380", [](Card card) { PlugIn<fakeusb::Rcs380>("port100", card); }},
      {"LibnfcRcs360", [](Card card) { PlugIn<fakeusb::Pn53xUsb>("libnfc", Pn53xModel::Rcs956, card); }},
      {"LibnfcPn533", [](Card card) { PlugIn<fakeusb::Pn53xUsb>("libnfc", Pn53xModel::Pn533, card); }},
      {"LibnfcAcr122u", [](Card card) { PlugIn<fakeusb::Acr122Usb>("libnfc", card); }},
      {"LibnfcPn532Uart",
       [](Card card) {
         fakeusb::UnplugAll();
         uart.reset();
         uart = std::make_unique<emulator::Pn532Uart>(card);
         setenv("FELICA_READER", ("libnfc:" + uart->Connstring()).c_str(), 1);
       }},
  };
}

Pcscd& TestPcscd(std::optional<bool> escapeAllowed) {
  static std::unique_ptr<Pcscd> pcscd;
  // Started anew for the other setting, or where a test killed it.
  if (pcscd && ((escapeAllowed && pcscd->EscapeAllowed() != *escapeAllowed) || kill(pcscd->Pid(), 0) != 0))
    pcscd.reset();
  if (!pcscd) pcscd = std::make_unique<Pcscd>(escapeAllowed.value_or(true));
  return *pcscd;
}

void PlaceInPcscReader(emulator::PcscModel model, const std::shared_ptr<emulator::FelicaCard>& card) {
  using emulator::PcscModel;
  auto& pcscd = TestPcscd();
  ASSERT_TRUE(pcscd.Running()) << pcscd.Problem();
  fakeusb::UnplugAll();
  setenv("FELICA_READER", "pcsc", 1);
  // Every card leaves first, as a card a user lifts: pcscd sees it go, then the new one come.
  for (int each = 0; each < emulator::kPcscModels; ++each) ASSERT_TRUE(pcscd.Place(PcscModel(each), std::nullopt));
  if (card) {
    ASSERT_TRUE(pcscd.Place(model, card->Faults()));
  }
}

std::vector<Rig> PcscRigs() {
  using emulator::PcscModel;
  const auto rig = [](const char* name, PcscModel model) {
    return Rig{name, [model](Card card) {
                 // The RC-S300 that takes its session only by escape reads where libccid lets the escape through.
                 if (model == PcscModel::Rcs300Escape) TestPcscd(true);
                 PlaceInPcscReader(model, card);
               }};
  };
  return {rig("PcscRcs300", PcscModel::Rcs300), rig("PcscRcs300ByEscape", PcscModel::Rcs300Escape),
          rig("PcscTransparent", PcscModel::Transparent), rig("PcscAcr122u", PcscModel::Acr122u),
          rig("PcscAcr1252u", PcscModel::Acr1252u)};
}

}  // namespace rigs
