#include "StationTables.h"

#include <initializer_list>
#include <utility>

namespace vocab {
namespace {

using Entry = std::pair<unsigned char, std::string_view>;

StationTable MakeTable(std::initializer_list<Entry> entries) {
  StationTable table{};
  for (const auto& [code, name] : entries) table[code] = name;
  return table;
}

// Two stations a row, as the tables are read.
// clang-format off
const StationTable kNanboku = MakeTable({
    {0x34, "南北線/麻生　　　　　"},   {0x36, "南北線/北３４条　　　"},
    {0x38, "南北線/北２４条　　　"},   {0x3A, "南北線/北１８条　　　"},
    {0x3C, "南北線/北１２条　　　"},   {0x3E, "南北線/さっぽろ　　　"},
    {0x40, "南北線/大通　　　　　"},   {0x42, "南北線/すすきの　　　"},
    {0x44, "南北線/中島公園　　　"},   {0x46, "南北線/幌平橋　　　　"},
    {0x48, "南北線/中の島　　　　"},   {0x4A, "南北線/平岸　　　　　"},
    {0x4C, "南北線/南平岸　　　　"},   {0x4E, "南北線/澄川　　　　　"},
    {0x50, "南北線/自衛隊前　　　"},   {0x52, "南北線/真駒内　　　　"},
});

const StationTable kTozai = MakeTable({
    {0x30, "東西線/宮の沢　　　　"},   {0x32, "東西線/発寒南　　　　"},
    {0x34, "東西線/琴似　　　　　"},   {0x36, "東西線/二十四軒　　　"},
    {0x38, "東西線/西２８丁目　　"},   {0x3A, "東西線/円山公園　　　"},
    {0x3C, "東西線/西１８丁目　　"},   {0x3E, "東西線/西１１丁目　　"},
    {0x40, "東西線/大通　　　　　"},   {0x42, "東西線/バスセンター前"},
    {0x44, "東西線/菊水　　　　　"},   {0x46, "東西線/東札幌　　　　"},
    {0x48, "東西線/白石　　　　　"},   {0x4A, "東西線/南郷７丁目　　"},
    {0x4C, "東西線/南郷１３丁目　"},   {0x4E, "東西線/南郷１８丁目　"},
    {0x50, "東西線/大谷地　　　　"},   {0x52, "東西線/ひばりが丘　　"},
    {0x54, "東西線/新さっぽろ　　"},
});

const StationTable kToho = MakeTable({
    {0x32, "東豊線/栄町　　　　　"},   {0x34, "東豊線/新道東　　　　"},
    {0x36, "東豊線/元町　　　　　"},   {0x38, "東豊線/環状通東　　　"},
    {0x3A, "東豊線/東区役所前　　"},   {0x3C, "東豊線/北１３条東　　"},
    {0x3E, "東豊線/さっぽろ　　　"},   {0x40, "東豊線/大通　　　　　"},
    {0x42, "東豊線/豊水すすきの　"},   {0x44, "東豊線/学園前　　　　"},
    {0x46, "東豊線/豊平公園　　　"},   {0x48, "東豊線/美園　　　　　"},
    {0x4A, "東豊線/月寒中央　　　"},   {0x4C, "東豊線/福住　　　　　"},
    {0xFF, "電車　/　　　　　　　"},
});

constexpr std::string_view kChargeMachine = "入金機/　　　　　　　";
const StationTable kChargeMachines = MakeTable({
    {0x01, kChargeMachine}, {0x02, kChargeMachine}, {0x03, kChargeMachine},
    {0x04, "入金機/白石西口　　　"}, {0x05, "入金機/新さっぽろ南口"},
    {0x06, kChargeMachine}, {0x07, kChargeMachine},
    {0x08, "入金機/北２４条　　　"}, {0x09, "入金機/さっぽろ北口　"},
    {0x0A, kChargeMachine}, {0x0B, kChargeMachine}, {0x0C, kChargeMachine},
    {0x0D, kChargeMachine}, {0x0E, kChargeMachine}, {0x0F, kChargeMachine},
    {0x10, kChargeMachine}, {0x11, "入金機/福住南口　　　"},
});

constexpr std::string_view kVendingMachine = "自販機/　　　　　　　";
const StationTable kVendingMachines = MakeTable({
    {0x01, kVendingMachine}, {0x02, "自販機/大通駅東口　　"},
    {0x03, kVendingMachine}, {0x04, kVendingMachine}, {0x05, kVendingMachine},
    {0x06, kVendingMachine}, {0x07, kVendingMachine}, {0x08, kVendingMachine},
});

const StationTable kShops = MakeTable({
    {0x01, "店舗　/スカイルーム　"},
});
// clang-format on

}  // namespace

const StationTable* StationTableFor(std::string_view lineCode) {
  // Tried in this order; the first exact match wins.
  static const std::pair<std::string_view, const StationTable*> kLines[] = {
      {"86", &kNanboku},        {"87", &kTozai},           {"88", &kToho},
      {"01", &kChargeMachines}, {"05", &kVendingMachines}, {"09", &kShops},
  };
  for (const auto& [code, table] : kLines) {
    if (code == lineCode) return table;
  }
  return nullptr;
}

}  // namespace vocab
