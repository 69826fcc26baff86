#include "support/TestCards.h"

#include <nlohmann/json.hpp>

#include "Bytes.h"

namespace testcards {

std::string CardJson(const sim::CardImage& image, const std::string& settingsJson) {
  nlohmann::json systems = nlohmann::json::object();
  for (const auto& [code, system] : image.systems) {
    nlohmann::json services = nlohmann::json::object();
    for (const auto& [serviceCode, service] : system.services) {
      nlohmann::json blocks = nlohmann::json::array();
      for (const auto& block : service.blocks) blocks.push_back({{"data", felica::ToHex(block)}});
      services[std::to_string(serviceCode)] = {{"blocks", blocks}};
    }
    systems[std::to_string(code)] = {{"services", services}};
  }
  nlohmann::json root = {{"tagId", felica::ToHex(image.idm)},
                         {"scannedAt", 0},
                         {"felica", {{"iDm", felica::ToHex(image.idm)}, {"pMm", felica::ToHex(image.pmm)}, {"systems", systems}}}};
  if (!settingsJson.empty()) root["readerSimulation"] = nlohmann::json::parse(settingsJson);
  return root.dump();
}

}  // namespace testcards
