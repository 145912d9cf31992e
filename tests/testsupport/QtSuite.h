#pragma once
// A test suite of Qt windows: one QApplication made before the suite's first test and ended after its last,
// on Qt's offscreen platform, or on the one the caller chose when pictures are taken (SEALRUN_SCREENSHOTS, with
// an X server from Xvfb). Header only: the test programs that include it link Qt themselves.
#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

namespace sealrun::testing {

class QtSuite : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (qEnvironmentVariableIsEmpty("SEALRUN_SCREENSHOTS")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "sealrun_tests";
    static char* argv[] = {name, nullptr};
    Application() = std::make_unique<QApplication>(argc, argv);
  }
  static void TearDownTestSuite() { Application().reset(); }

 private:
  static std::unique_ptr<QApplication>& Application() {
    static std::unique_ptr<QApplication> application;
    return application;
  }
};

}  // namespace sealrun::testing
