#include "CardImage.h"

#include <charconv>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

namespace sim {
namespace {

using nlohmann::json;

constexpr std::size_t kMaxImageBytes = 16 * 1024 * 1024;
constexpr std::size_t kMaxBlocksPerService = 65535;

struct ImageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

const json& Member(const json& object, const char* key, const std::string& where) {
  if (!object.is_object()) throw ImageError(where + " is not an object");
  const auto it = object.find(key);
  if (it == object.end()) throw ImageError(where + " has no \"" + key + "\"");
  return *it;
}

template <std::size_t N>
std::array<std::uint8_t, N> FixedHex(const json& value, const std::string& where) {
  if (!value.is_string()) throw ImageError(where + " is not a text");
  const auto bytes = felica::ParseHex(value.get<std::string>());
  if (!bytes || bytes->size() != N) {
    throw ImageError(where + " is not " + std::to_string(2 * N) + " hexadecimal digits");
  }
  std::array<std::uint8_t, N> out{};
  std::copy(bytes->begin(), bytes->end(), out.begin());
  return out;
}

std::uint16_t Code16(const std::string& key, const std::string& where) {
  unsigned value = 0;
  const auto* end = key.data() + key.size();
  const auto [ptr, ec] = std::from_chars(key.data(), end, value);
  if (key.empty() || ec != std::errc() || ptr != end || value > 0xFFFF) {
    throw ImageError(where + " \"" + key + "\" is not a decimal code from 0 to 65535");
  }
  return static_cast<std::uint16_t>(value);
}

Service ParseService(const json& value, const std::string& where) {
  const json& blocks = Member(value, "blocks", where);
  if (!blocks.is_array()) throw ImageError(where + " blocks is not a list");
  if (blocks.size() > kMaxBlocksPerService) throw ImageError(where + " has more than 65535 blocks");
  Service service;
  service.blocks.reserve(blocks.size());
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    const std::string blockWhere = where + " block " + std::to_string(i);
    service.blocks.push_back(FixedHex<16>(Member(blocks[i], "data", blockWhere), blockWhere + " data"));
  }
  return service;
}

int IntSetting(const json& settings, const char* key, int low, int high, int fallback) {
  const auto it = settings.find(key);
  if (it == settings.end()) return fallback;
  if (!it->is_number_integer() || *it < low || *it > high) {
    throw ImageError(std::string("readerSimulation.") + key + " is not a whole number from " +
                     std::to_string(low) + " to " + std::to_string(high));
  }
  return it->get<int>();
}

bool BoolSetting(const json& settings, const char* key) {
  const auto it = settings.find(key);
  if (it == settings.end()) return false;
  if (!it->is_boolean()) throw ImageError(std::string("readerSimulation.") + key + " is not true or false");
  return it->get<bool>();
}

SimulationSettings ParseSettings(const json& root) {
  SimulationSettings settings;
  const auto it = root.find("readerSimulation");
  if (it == root.end()) return settings;
  if (!it->is_object()) throw ImageError("readerSimulation is not an object");
  settings.maxBlocksPerRead = IntSetting(*it, "maxBlocksPerRead", 1, 15, 15);
  settings.silentAboveLimit = BoolSetting(*it, "silentAboveLimit");
  settings.noCard = BoolSetting(*it, "noCard");
  if (it->contains("removeAfterCommands")) {
    settings.removeAfterCommands = IntSetting(*it, "removeAfterCommands", 0, 1000000, 0);
  }
  settings.responseDelayMs = IntSetting(*it, "responseDelayMs", 0, 10000, 0);
  if (const auto idm = it->find("answerIdm"); idm != it->end()) {
    settings.answerIdm = FixedHex<8>(*idm, "readerSimulation.answerIdm");
  }
  return settings;
}

CardImage Parse(const json& root) {
  const json& felicaCard = Member(root, "felica", "the image");
  CardImage image;
  image.idm = FixedHex<8>(Member(felicaCard, "iDm", "felica"), "felica.iDm");
  image.pmm = FixedHex<8>(Member(felicaCard, "pMm", "felica"), "felica.pMm");
  const json& systems = Member(felicaCard, "systems", "felica");
  if (!systems.is_object() || systems.empty()) throw ImageError("felica.systems is not a non-empty object");
  for (const auto& [systemKey, systemValue] : systems.items()) {
    const std::string where = "system " + systemKey;
    System system;
    const json& services = Member(systemValue, "services", where);
    if (!services.is_object()) throw ImageError(where + " services is not an object");
    for (const auto& [serviceKey, serviceValue] : services.items()) {
      const std::string serviceWhere = where + " service " + serviceKey;
      system.services.emplace(Code16(serviceKey, "service code"), ParseService(serviceValue, serviceWhere));
    }
    image.systems.emplace_back(Code16(systemKey, "system code"), std::move(system));
  }
  image.settings = ParseSettings(root);
  return image;
}

}  // namespace

LoadResult ParseCardImage(std::string_view text) {
  try {
    const json root = json::parse(text);
    if (!root.is_object()) return {std::nullopt, "not a JSON object"};
    return {Parse(root), {}};
  } catch (const json::exception& e) {
    return {std::nullopt, std::string("not valid JSON: ") + e.what()};
  } catch (const ImageError& e) {
    return {std::nullopt, e.what()};
  }
}

LoadResult LoadCardImage(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {std::nullopt, "cannot be opened"};
  std::string text;
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    text.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (text.size() > kMaxImageBytes) return {std::nullopt, "larger than 16 MiB"};
  }
  if (in.bad()) return {std::nullopt, "cannot be read"};
  return ParseCardImage(text);
}

}  // namespace sim
