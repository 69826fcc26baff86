// Card images: what loads, and every way a bad one is refused.
#include <gtest/gtest.h>

#include "CardImage.h"
#include "support/TestCards.h"

namespace {

TEST(CardImage, LoadsServicesBlocksAndSettings) {
  const auto json = testcards::CardJson(testcards::Card(15),
                                        R"({"maxBlocksPerRead": 8, "silentAboveLimit": true, "removeAfterCommands": 3,
                                            "responseDelayMs": 5, "answerIdm": "0a0b0c0d0e0f1011"})");
  const auto loaded = sim::ParseCardImage(json);
  ASSERT_TRUE(loaded.image) << loaded.error;
  const auto& image = *loaded.image;
  EXPECT_EQ(image.idm[1], 0x12);
  ASSERT_EQ(image.systems.size(), 1u);
  EXPECT_EQ(image.systems[0].first, 0x000B);
  EXPECT_EQ(image.systems[0].second.services.at(0x060F).blocks.size(), 20u);
  EXPECT_EQ(image.systems[0].second.services.at(0x060F).blocks[7][1], 7);
  EXPECT_EQ(image.settings.maxBlocksPerRead, 8);
  EXPECT_TRUE(image.settings.silentAboveLimit);
  EXPECT_EQ(image.settings.removeAfterCommands, 3);
  EXPECT_EQ(image.settings.responseDelayMs, 5);
  EXPECT_EQ((*image.settings.answerIdm)[0], 0x0A);
}

TEST(CardImage, UnknownKeysAreIgnoredAndHexMayBeLowerCase) {
  const auto loaded = sim::ParseCardImage(R"({"tagId": "x", "scannedAt": {"timeInMillis": 1}, "label": "mine",
      "felica": {"iDm": "0112041e5a3c7d01", "pMm": "0120220427674eff", "specificationVersion": null,
                 "systems": {"11": {"skipped": false, "services": {"523": {"skipped": false, "blocks": [
                   {"data": "00112233445566778899aabbccddeeff", "extra": 1}]}}}}}})");
  ASSERT_TRUE(loaded.image) << loaded.error;
  EXPECT_EQ(loaded.image->systems[0].second.services.at(523).blocks[0][15], 0xFF);
}

struct BadImage {
  const char* name;
  std::string json;
  const char* errorMentions;
};

void PrintTo(const BadImage& c, std::ostream* os) { *os << c.name; }

std::string WithFelica(const std::string& felica) { return R"({"felica": )" + felica + "}"; }
const std::string kGoodIds = R"("iDm": "0112041E5A3C7D01", "pMm": "0120220427674EFF")";
std::string WithServices(const std::string& services) {
  return WithFelica("{" + kGoodIds + R"(, "systems": {"11": {"services": )" + services + "}}}");
}

class BadImageTest : public testing::TestWithParam<BadImage> {};

TEST_P(BadImageTest, IsRefusedWithItsFault) {
  const auto loaded = sim::ParseCardImage(GetParam().json);
  EXPECT_FALSE(loaded.image);
  EXPECT_NE(loaded.error.find(GetParam().errorMentions), std::string::npos) << loaded.error;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, BadImageTest,
    testing::Values(
        BadImage{"NotJson", "{felica", "not valid JSON"}, BadImage{"Empty", "", "not valid JSON"},
        BadImage{"NotAnObject", "[1, 2]", "not a JSON object"}, BadImage{"NoFelica", R"({"tagId": "01"})", "\"felica\""},
        BadImage{"NoIdm", WithFelica(R"({"pMm": "0120220427674EFF", "systems": {}})"), "\"iDm\""},
        BadImage{"ShortIdm", WithFelica(R"({"iDm": "0112", "pMm": "0120220427674EFF", "systems": {}})"), "felica.iDm"},
        BadImage{"IdmNotHex", WithFelica(R"({"iDm": "0112041E5A3C7DZZ", "pMm": "0120220427674EFF", "systems": {}})"),
                 "felica.iDm"},
        BadImage{"IdmNumber", WithFelica(R"({"iDm": 12, "pMm": "0120220427674EFF", "systems": {}})"), "not a text"},
        BadImage{"NoSystems", WithFelica("{" + kGoodIds + R"(, "systems": {}})"), "systems"},
        BadImage{"SystemCodeNotDecimal", WithFelica("{" + kGoodIds + R"(, "systems": {"0x0B": {"services": {}}}})"),
                 "system code"},
        BadImage{"SystemCodeTooBig", WithFelica("{" + kGoodIds + R"(, "systems": {"65536": {"services": {}}}})"),
                 "system code"},
        BadImage{"ServiceCodeNegative", WithServices(R"({"-1": {"blocks": []}})"), "service code"},
        BadImage{"NoBlocks", WithServices(R"({"523": {}})"), "\"blocks\""},
        BadImage{"BlocksNotList", WithServices(R"({"523": {"blocks": {}}})"), "not a list"},
        BadImage{"BlockShort", WithServices(R"({"523": {"blocks": [{"data": "0011"}]}})"), "service 523 block 0 data"},
        BadImage{"BlockLong", WithServices(R"({"523": {"blocks": [{"data": "00112233445566778899AABBCCDDEEFF00"}]}})"),
                 "32 hexadecimal digits"},
        BadImage{"BlockNoData", WithServices(R"({"523": {"blocks": [{"raw": "00"}]}})"), "\"data\""},
        BadImage{"TooManyBlocks", WithServices(R"({"523": {"blocks": [)" + [] {
                   std::string blocks;
                   for (int i = 0; i < 65536; ++i) blocks += std::string(i ? "," : "") + "{}";
                   return blocks;
                 }() + "]}}"),
                 "more than 65535 blocks"},
        BadImage{"BadSetting", testcards::CardJson(testcards::Card(12), R"({"maxBlocksPerRead": 16})"),
                 "maxBlocksPerRead"},
        BadImage{"BadSettingType", testcards::CardJson(testcards::Card(12), R"({"noCard": "yes"})"), "noCard"},
        BadImage{"SettingsNotObject", testcards::CardJson(testcards::Card(12), R"(3)"), "readerSimulation"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CardImage, MissingFileIsRefused) {
  const auto loaded = sim::LoadCardImage("/nonexistent/card.json");
  EXPECT_FALSE(loaded.image);
  EXPECT_EQ(loaded.error, "cannot be opened");
}

TEST(CardImage, ADirectoryIsRefused) {
  const auto loaded = sim::LoadCardImage("/");
  EXPECT_FALSE(loaded.image);
}

}  // namespace
