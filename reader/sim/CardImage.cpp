#include "CardImage.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <stdexcept>
#include <string_view>
#include <unordered_set>

#include "Hex.h"

namespace sim {
namespace {

using nlohmann::json;

constexpr std::size_t kMaxImageBytes = 16 * 1024 * 1024;

struct ImageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

const json* Find(const json& object, const char* key) {
  const auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}

const json& Member(const json& object, const char* key, std::string_view where) {
  if (!object.is_object()) throw ImageError(std::string(where) + " is not an object");
  const json* value = Find(object, key);
  if (!value) throw ImageError(std::string(where) + " has no \"" + key + "\"");
  return *value;
}

// Exactly 2N hexadecimal digits, in either case. `where` is built only for the error.
template <std::size_t N, typename Where>
std::array<std::uint8_t, N> FixedHex(const json& value, Where where) {
  std::array<std::uint8_t, N> out{};
  const std::string* text = value.is_string() ? &value.get_ref<const std::string&>() : nullptr;
  bool ok = text && text->size() == 2 * N;
  for (std::size_t i = 0; ok && i < N; ++i) {
    const int high = hex::DigitValue((*text)[2 * i]);
    const int low = hex::DigitValue((*text)[2 * i + 1]);
    ok = high >= 0 && low >= 0;
    out[i] = static_cast<std::uint8_t>(high << 4 | low);
  }
  if (!ok) throw ImageError(std::string(where()) + " is not " + std::to_string(2 * N) + " hexadecimal digits");
  return out;
}

template <std::size_t N>
std::array<std::uint8_t, N> FixedHex(const json& value, const char* where) {
  return FixedHex<N>(value, [where] { return where; });
}

bool Flag(const json& object, const char* key, const std::string& where) {
  const json* value = Find(object, key);
  if (!value || value->is_null()) return false;
  if (!value->is_boolean()) throw ImageError(where + "." + key + " is not true or false");
  return value->get<bool>();
}

// Keys are decimal codes; "11" and "011" are the same code, so one of them is refused.
std::uint16_t Code(const std::string& key, const std::string& what) {
  unsigned code = 0;
  const char* end = key.data() + key.size();
  const auto [ptr, ec] = std::from_chars(key.data(), end, code);
  if (key.empty() || ec != std::errc() || ptr != end || code > 0xFFFF) {
    throw ImageError(what + " \"" + key + "\" is not a decimal number from 0 to 65535");
  }
  return static_cast<std::uint16_t>(code);
}

template <typename Value>
void Insert(std::map<std::uint16_t, Value>& into, std::uint16_t code, Value value, const std::string& what) {
  if (!into.emplace(code, std::move(value)).second)
    throw ImageError(what + " " + std::to_string(code) + " appears twice");
}

// {"data": "<32 digits>"}; the place in the image is spelt out only for an error.
Block BlockData(const json& block, const std::string& service, const std::string& number) {
  const auto where = [&] { return service + " block " + number; };
  if (!block.is_object()) throw ImageError(where() + " is not an object");
  const json* data = Find(block, "data");
  if (!data) throw ImageError(where() + " has no \"data\"");
  return FixedHex<16>(*data, [&] { return where() + " data"; });
}

Service ParseService(const json& value, const std::string& where) {
  if (!value.is_object()) throw ImageError(where + " is not an object");
  Service service;
  service.skipped = Flag(value, "skipped", where);
  const json* list = Find(value, "blocks");
  const json* map = Find(value, "blocksMap");
  if (list && map) throw ImageError(where + " has both \"blocks\" and \"blocksMap\"");
  if (list) {  // format 3.0: block k at index k
    if (!list->is_array()) throw ImageError(where + " blocks is not a list");
    if (list->size() > 0x10000) throw ImageError(where + " has more than 65536 blocks");
    for (std::size_t k = 0; k < list->size(); ++k) {
      service.blocks.emplace_hint(service.blocks.end(), static_cast<std::uint16_t>(k),
                                  BlockData((*list)[k], where, std::to_string(k)));
    }
  } else if (map) {  // format 3.1: keyed by block number, in any order, with gaps
    if (!map->is_object()) throw ImageError(where + " blocksMap is not an object");
    for (const auto& [number, block] : map->items()) {
      const std::uint16_t code = Code(number, where + " block");
      if (!service.blocks.emplace(code, BlockData(block, where, number)).second) {
        throw ImageError(where + " block " + std::to_string(code) + " appears twice");
      }
    }
  }
  return service;
}

System ParseSystem(const json& value, const std::string& where) {
  if (!value.is_object()) throw ImageError(where + " is not an object");
  System system;
  system.skipped = Flag(value, "skipped", where);
  if (const json* services = Find(value, "services")) {
    if (!services->is_object()) throw ImageError(where + " services is not an object");
    for (const auto& [code, service] : services->items()) {
      Insert(system.services, Code(code, where + " service"), ParseService(service, where + " service " + code),
             where + " service");
    }
  }
  return system;
}

int IntSetting(const json& settings, const char* key, int low, int high, int fallback) {
  const json* value = Find(settings, key);
  if (!value) return fallback;
  if (!value->is_number_integer() || *value < low || *value > high) {
    throw ImageError(std::string("readerSimulation.") + key + " is not a whole number from " + std::to_string(low) +
                     " to " + std::to_string(high));
  }
  return value->get<int>();
}

SimulationSettings ParseSettings(const json& root) {
  SimulationSettings settings;
  const json* object = Find(root, "readerSimulation");
  if (!object) return settings;
  if (!object->is_object()) throw ImageError("readerSimulation is not an object");
  settings.maxBlocksPerRead = IntSetting(*object, "maxBlocksPerRead", 1, 15, 15);
  settings.silentAboveLimit = Flag(*object, "silentAboveLimit", "readerSimulation");
  settings.noCard = Flag(*object, "noCard", "readerSimulation");
  if (Find(*object, "removeAfterCommands")) {
    settings.removeAfterCommands = IntSetting(*object, "removeAfterCommands", 0, 1000000, 0);
  }
  settings.responseDelayMs = IntSetting(*object, "responseDelayMs", 0, 10000, 0);
  if (const json* idm = Find(*object, "answerIdm"))
    settings.answerIdm = FixedHex<8>(*idm, "readerSimulation.answerIdm");
  return settings;
}

CardImage Parse(const json& root) {
  if (!root.is_object()) throw ImageError("not a JSON object");
  const json& card = Member(root, "felica", "the image");
  CardImage image;
  image.idm = FixedHex<8>(Member(root, "tagId", "the image"), "tagId");
  if (const json* idm = Find(card, "iDm"); idm && !idm->is_null()) {  // older exports
    if (FixedHex<8>(*idm, "felica.iDm") != image.idm) throw ImageError("felica.iDm disagrees with tagId");
  }
  if (const json* pmm = Find(card, "pMm"); pmm && !pmm->is_null()) image.pmm = FixedHex<8>(*pmm, "felica.pMm");
  image.partialRead = Flag(card, "isPartialRead", "felica");

  const json& systems = Member(card, "systems", "felica");
  if (!systems.is_object() || systems.empty()) throw ImageError("felica.systems is not a non-empty object");
  std::set<std::uint16_t> codes;
  for (const auto& [key, system] : systems.items()) {
    const std::uint16_t code = Code(key, "system");
    if (!codes.insert(code).second) throw ImageError("system " + std::to_string(code) + " appears twice");
    image.systems.emplace_back(code, ParseSystem(system, "system " + key));
  }
  image.settings = ParseSettings(root);
  return image;
}

// nlohmann keeps the last of two equal keys; an image that has them is
// refused. The parser's callback sees every object open and close and every
// key, by depth.
json ParseRefusingDuplicateKeys(std::string_view text) {
  std::vector<std::unordered_set<std::string>> keys;  // of the objects open, innermost last
  return json::parse(text, [&keys](int, json::parse_event_t event, json& parsed) {
    if (event == json::parse_event_t::object_start) keys.emplace_back();
    if (event == json::parse_event_t::object_end) keys.pop_back();
    if (event == json::parse_event_t::key) {
      const auto& name = parsed.get_ref<const std::string&>();
      if (!keys.back().insert(name).second) throw ImageError("the key \"" + name + "\" appears twice in one object");
    }
    return true;
  });
}

}  // namespace

reader::Expected<CardImage> ParseCardImage(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
  if (first != std::string_view::npos && text[first] == '<') {
    return reader::Fail(reader::ErrorKind::BadConfiguration, "an XML export; only JSON exports are read");
  }
  try {
    return Parse(ParseRefusingDuplicateKeys(text));
  } catch (const json::exception& e) {
    return reader::Fail(reader::ErrorKind::BadConfiguration, std::string("not valid JSON: ") + e.what());
  } catch (const ImageError& e) {
    return reader::Fail(reader::ErrorKind::BadConfiguration, e.what());
  }
}

reader::Expected<CardImage> LoadCardImage(const std::string& path) {
  using reader::ErrorKind;
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) return reader::Fail(ErrorKind::BadConfiguration, std::string("cannot be opened: ") + std::strerror(errno));
  std::string text;
  char buffer[65536];
  while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, file.get())) {
    text.append(buffer, got);
    if (text.size() > kMaxImageBytes) return reader::Fail(ErrorKind::BadConfiguration, "larger than 16 MiB");
  }
  if (std::ferror(file.get()))
    return reader::Fail(ErrorKind::BadConfiguration, std::string("cannot be read: ") + std::strerror(errno));
  return ParseCardImage(text);
}

}  // namespace sim
