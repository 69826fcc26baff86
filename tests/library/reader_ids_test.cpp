// The udev rule, the package's udev trigger and the AppStream modaliases that
// the build wrote name exactly the USB readers the library drives.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "ReaderIds.h"

namespace {

std::set<std::string> IdsIn(const char* path, const char* pattern) {
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  const std::string content = text.str();
  std::set<std::string> ids;
  const std::regex id(pattern, std::regex::icase);
  for (std::sregex_iterator it(content.begin(), content.end(), id), end; it != end; ++it) {
    std::string vendorProduct = (*it)[1].str() + ":" + (*it)[2].str();
    for (char& c : vendorProduct) c = static_cast<char>(std::tolower(c));
    ids.insert(vendorProduct);
  }
  return ids;
}

TEST(ReaderIds, TheUdevRuleTriggerAndModaliasesNameEveryReaderTheLibraryOpens) {
  std::set<std::string> driven;
  const auto add = [&driven](std::span<const usb::DeviceId> family) {
    for (const auto& id : family) {
      char text[10];
      std::snprintf(text, sizeof text, "%04x:%04x", id.vendor, id.product);
      driven.insert(text);
    }
  };
  add(usb::kRcS380Ids), add(usb::kPn53xUsbIds), add(usb::kAcr122UsbIds);
  EXPECT_EQ(driven.size(), 12u);
  EXPECT_EQ(IdsIn(QAVO_UDEV_RULE_FILE, R"re(idVendor\}=="(\w{4})", ATTR\{idProduct\}=="(\w{4})", TAG\+="uaccess")re"),
            driven);
  EXPECT_EQ(IdsIn(QAVO_POSTINST_FILE, R"re(idVendor=(\w{4}) --attr-match=idProduct=(\w{4}))re"), driven);
  EXPECT_EQ(IdsIn(QAVO_METAINFO_FILE, R"re(<modalias>usb:v(\w{4})p(\w{4})d\*</modalias>)re"), driven);
}

}  // namespace
