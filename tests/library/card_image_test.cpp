// Card images as Metrodroid writes them, what the simulated card answers from them, and every way a bad one is refused.
#include <gtest/gtest.h>

#include "CardImage.h"
#include "SimulatedCard.h"
#include "support/Hex.h"

namespace {

using reader::ErrorKind;
using testsupport::Hex;
using testsupport::HexOf;

const std::string kBlock0 = "00112233445566778899aabbccddeeff";
const std::string kBlock1 = "FFEEDDCCBBAA99887766554433221100";

// An export around `systems`, with more of "felica" before them.
std::string Export(const std::string& systems, const std::string& felica = R"("pMm": "0120220427674eff", )",
                   const std::string& top = "") {
  return R"({"tagId": "0112041e5a3c7d01", "scannedAt": {"timeInMillis": 1795000000000, "tz": "Asia/Tokyo"}, )" + top +
         R"("felica": {)" + felica + R"("systems": )" + systems + "}}";
}
std::string OneService(const std::string& service) { return R"({"11": {"services": {"1551": )" + service + "}}}"; }

TEST(CardImage, KeepsWhatTheDumpHolds) {
  const std::string block0 = R"({"data": ")" + kBlock0 + R"("})", block1 = R"({"data": ")" + kBlock1 + R"("})";
  // clang-format off
  const std::tuple<const char*, std::string, const char*, const char*> cases[] = {  // PMm, service 1551's blocks
      {"format 3.0 blocks", Export(OneService(R"({"blocks": [)" + block0 + ", " + block1 + "]}")), "0120220427674EFF", "0 1 "},
      {"format 3.1 blocksMap scrambled with a gap",
       Export(OneService(R"({"blocksMap": {"5": )" + block1 + R"(, "0": )" + block0 + "}}")), "0120220427674EFF", "0 5 "},
      {"pMm null", Export(OneService("{}"), R"("pMm": null, )"), "00FF000000000000", ""},
      {"pMm missing", Export(OneService("{}"), ""), "00FF000000000000", ""},
      {"skipped service", Export(OneService(R"({"skipped": true})")), "0120220427674EFF", "skipped"},
      {"skipped system and extra keys",
       Export(R"({"11": {"services": {"1551": {"blocksMap": {"0": )" + block0 + R"(}}}}, "65024": {"skipped": true}})",
              R"("pMm": "0120220427674EFF", "specificationVersion": 256, "isPartialRead": false, )", R"("label": "mine", )"),
       "0120220427674EFF", "0 "},
      {"older export with an agreeing iDm",
       Export(OneService("{}"), R"("iDm": "0112041E5A3C7D01", "pMm": "0120220427674EFF", )"), "0120220427674EFF", ""}};
  // clang-format on
  for (const auto& [name, json, pmm, blocks] : cases) {
    SCOPED_TRACE(name);
    const auto image = sim::ParseCardImage(json);
    ASSERT_TRUE(image) << image.error().detail;
    EXPECT_EQ(HexOf(image->idm), "0112041E5A3C7D01");
    EXPECT_EQ(HexOf(image->pmm), pmm);
    EXPECT_EQ(image->systems.front().first, 11);
    const auto& service = image->systems.front().second.services.at(1551);
    std::string numbers = service.skipped ? "skipped" : "";
    for (const auto& [number, block] : service.blocks) numbers += std::to_string(number) + " ";
    EXPECT_EQ(numbers, blocks);
    EXPECT_TRUE(!service.blocks.count(0) || HexOf(service.blocks.at(0)) == "00112233445566778899AABBCCDDEEFF");
  }
}

TEST(CardImage, IsRefusedWithItsFault) {
  const std::string block7 = R"({"data": ")" + kBlock0 + R"("})";
  // clang-format off
  const std::pair<std::string, const char*> cases[] = {
      {"{felica", "not valid JSON"}, {"", "not valid JSON"}, {"[1, 2]", "not a JSON object"},
      {"\xEF\xBB\xBF <?xml version=\"1.0\"?><card type=\"felica\"/>", "only JSON exports are read"},
      {R"({"felica": {"systems": {"11": {}}}})", "\"tagId\""},
      {Export(OneService("{}"), R"("iDm": "0112041E5A3C7D02", )"), "felica.iDm disagrees with tagId"},
      {Export(OneService("{}"), R"("pMm": "0120", )"), "felica.pMm"}, {Export("{}"), "systems"},
      {Export(OneService(R"({"blocks": [{"data": "0011"}]})")), "service 1551 block 0 data"},
      {Export(OneService(R"({"blocksMap": {"0": {"data": ")" + kBlock0 + R"(00"}}})")), "32 hexadecimal digits"},
      {Export(OneService(R"({"blocksMap": {"65536": )" + block7 + "}}")), "65536"},
      {Export(OneService(R"({"blocksMap": {"7": )" + block7 + R"(, "07": )" + block7 + "}}")), "block 7 appears twice"},
      {Export(R"({"11": {"services": {"1551": {}, "01551": {}}}})"), "service 1551 appears twice"},
      {Export(R"({"11": {"services": {}}, "11": {"services": {}}})"), "\"11\" appears twice"},
      {Export(OneService(R"({"blocks": [], "blocksMap": {}})")), "both"},
      {Export(OneService("{}"), R"("pMm": null, )", R"("readerSimulation": {"maxBlocksPerRead": 16}, )"), "maxBlocksPerRead"}};
  // clang-format on
  for (const auto& [json, mentions] : cases) {
    const auto image = sim::ParseCardImage(json);
    ASSERT_FALSE(image) << mentions;
    EXPECT_EQ(image.error().kind, ErrorKind::BadConfiguration);
    EXPECT_NE(image.error().detail.find(mentions), std::string::npos) << image.error().detail;
  }
}

TEST(CardImage, SamplesLoad) {
  for (const char* name : {"demo-card.json", "no-pass-card.json", "unknown-codes-card.json"}) {
    EXPECT_TRUE(sim::LoadCardImage(QAVO_SAMPLES_DIR "/" + std::string(name))) << name;
  }
}

// The simulated card from a dump: what the dump holds it answers, what it lacks it never makes up.
TEST(SimulatedCard, AnswersFromTheDumpAndNeverMakesBlocksUp) {
  const std::string services =
      R"({"11": {"services": {"523": {"skipped": true}, "1551": {"blocksMap": {"0": {"data": ")" + kBlock0 +
      R"("}, "2": {"data": ")" + kBlock1 + R"("}}}}}})";
  const auto read = [](sim::SimulatedCard& card, const char* service, const char* block) {
    EXPECT_TRUE(card.Answer(Hex("0600000B0000")));  // polling selects the system
    const auto answer = card.Answer(Hex(std::string("10 06 0112041E5A3C7D01 01") + service + "01 80" + block));
    return answer ? HexOf(*answer).substr(20) : answer.error().detail;  // flags on, or why not
  };
  sim::SimulatedCard whole(*sim::ParseCardImage(Export(services)));
  EXPECT_EQ(read(whole, "0F06", "00"), "000001" + HexOf(Hex(kBlock0)));
  EXPECT_EQ(read(whole, "0B02", "00"), "01A6");  // needs a key: refused as a card refuses it
  EXPECT_EQ(read(whole, "0F06", "03"), "01A8");  // past the end of a whole dump: the card has no block 3
  EXPECT_EQ(read(whole, "0F06", "01"), "the card image lacks block 1 of service 060F");
  sim::SimulatedCard cut(*sim::ParseCardImage(Export(services, R"("pMm": null, "isPartialRead": true, )")));
  EXPECT_EQ(read(cut, "0F06", "03"), "the card image lacks block 3 of service 060F (the dump was cut off)");
  sim::SimulatedCard skippedSystem(*sim::ParseCardImage(Export(R"({"11": {"skipped": true}})")));
  EXPECT_NE(read(skippedSystem, "0F06", "00").find("a system the dump skipped"), std::string::npos);
}

}  // namespace
