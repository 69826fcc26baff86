#include "ReaderChoice.h"

#include <span>

#include "CardImage.h"
#include "SimTransport.h"
#include "felica_for_vb.h"

namespace reader {
namespace {

OpenResult OpenSimulated(std::string_view path) {
  if (path.empty()) return {nullptr, FELICA_RW_BAD_CONFIGURATION, "FELICA_READER=sim: needs a card image path"};
  auto loaded = sim::LoadCardImage(std::string(path));
  if (!loaded.image) {
    return {nullptr, FELICA_RW_BAD_CONFIGURATION, "card image " + std::string(path) + ": " + loaded.error};
  }
  return {std::make_unique<sim::SimTransport>(std::move(*loaded.image)), 0, {}};
}

OpenResult OpenAuto() {
  std::string tried;
  std::int32_t worst = FELICA_RW_NO_READER;
  for (const Driver& driver : HardwareDrivers()) {
    auto result = driver.open({});
    if (result.transport) return result;
    if (result.rwError == FELICA_RW_READER_ACCESS) worst = result.rwError;  // the more useful news
    if (!tried.empty()) tried += "; ";
    tried += std::string(driver.name) + ": " + result.diagnostic;
  }
  return {nullptr, worst, "no reader found (" + tried + ")"};
}

}  // namespace

OpenResult OpenReader(const char* felicaReader) {
  const std::string_view choice = felicaReader ? felicaReader : "";
  if (choice.empty()) return OpenAuto();

  const auto colon = choice.find(':');
  const std::string_view kind = choice.substr(0, colon);
  const std::string_view argument = colon == std::string_view::npos ? std::string_view{} : choice.substr(colon + 1);
  if (kind == "sim") return OpenSimulated(argument);
  for (const Driver& driver : HardwareDrivers()) {
    if (kind == driver.name) return driver.open(argument);
  }
  return {nullptr, FELICA_RW_BAD_CONFIGURATION,
          "FELICA_READER=" + std::string(choice) + ": expected sim:PATH, pcsc[:NAME], port100 or libnfc[:CONNSTRING]"};
}

}  // namespace reader
