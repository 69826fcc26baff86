#pragma once
// Checks every real-reader path makes the same way: a press through the
// reader under test against a press through the simulated reader, and
// presses at several card block limits.

#include <gtest/gtest.h>

#include <QLabel>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "CardImage.h"
#include "Form1.h"
#include "support/FormFields.h"

namespace testsupport {

inline sim::CardImage LoadSampleCard(const std::string& fileName) {
  return *sim::LoadCardImage(std::string(QAVO_SAMPLES_DIR) + "/" + fileName).image;
}

// `attach` puts the card in the reader under test and points FELICA_READER at it.
using Attach = std::function<void(sim::CardImage)>;

inline void ExpectEverySampleReadsAsThroughTheSimulatedReader(const Attach& attach) {
  for (const auto& entry : std::filesystem::directory_iterator(QAVO_SAMPLES_DIR)) {
    SCOPED_TRACE(entry.path().filename().string());
    Form1 simulated;
    setenv("FELICA_READER", ("sim:" + entry.path().string()).c_str(), 1);
    simulated.Command_Click();
    attach(LoadSampleCard(entry.path().filename().string()));
    Form1 underTest;
    underTest.Command_Click();
    EXPECT_EQ(AllFields(underTest), AllFields(simulated));
  }
}

inline void ExpectWholeReadsAtBlockLimits(Form1& form, const Attach& attach) {
  for (int limit : {1, 8, 12}) {
    auto card = LoadSampleCard("demo-card.json");
    card.settings.maxBlocksPerRead = limit;
    attach(card);
    form.History[19]->setText("------");
    form.Command_Click();
    EXPECT_EQ(form.Message->text(), "") << limit;
    EXPECT_TRUE(form.History[19]->text().startsWith(" 19：チャージ")) << limit;
  }
}

}  // namespace testsupport
