// The udev rule, the package's udev trigger and the AppStream modaliases that the build wrote name exactly the USB
// readers the library drives, in the case each is matched in: sysfs writes ids in lower case, a modalias in upper.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "ReaderIds.h"

namespace {

std::set<std::string> IdsIn(const char* path, const std::string& pattern) {
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  const std::string content = text.str();
  std::set<std::string> ids;
  const std::regex id(pattern);
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
  const std::string lower = "([0-9a-f]{4})", upper = "([0-9A-F]{4})";
  EXPECT_EQ(IdsIn(QAVO_UDEV_RULE_FILE, "idVendor\\}==\"" + lower + "\", ATTR\\{idProduct\\}==\"" + lower + "\", TAG"),
            driven);
  EXPECT_EQ(IdsIn(QAVO_POSTINST_FILE, "idVendor=" + lower + " --attr-match=idProduct=" + lower), driven);
  EXPECT_EQ(IdsIn(QAVO_METAINFO_FILE, "<modalias>usb:v" + upper + "p" + upper + "d\\*</modalias>"), driven);
}

}  // namespace
