// GoogleTest main for tests that need a QApplication (offscreen by default),
// with Qt's runtime folder among the test's own files rather than in /tmp.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <QApplication>

#include "support/Scratch.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const std::string runtime = testsupport::Scratch("runtime");
  mkdir(runtime.c_str(), 0700);
  qputenv("XDG_RUNTIME_DIR", runtime.c_str());
  QApplication application(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
