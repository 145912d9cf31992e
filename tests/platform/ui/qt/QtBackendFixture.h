#pragma once
// The Qt backend installed on Qt's offscreen platform, and a scripted user who acts inside the modal loops
// the code under test runs: each action waits for its window to show, then plays on its widgets.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/Backend.h"
#include "platform/ui/qt/QtBackend.h"
#include "platform/ui/qt/QtText.h"

namespace sealrun::platform::ui::qt {

class QtBackendTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "platform_ui_qt_tests";
    static char* argv[] = {name, nullptr};
    application_ = std::make_unique<QApplication>(argc, argv);
  }
  static void TearDownTestSuite() { application_.reset(); }

  QtBackendTest()
      : scoped_(std::make_unique<QtBackend>(QtBackendOptions{
            [this](const std::u16string& text) { notices_.push_back(text); }, /*nativeFileDialogs=*/false})) {}

  // Plays `user` once, on the first modal window of type W that shows (named `name` when given) and is
  // `ready`. A window still up five seconds on is rejected, so a test that goes wrong fails instead of hanging.
  template <typename W>
  void WhenShown(std::function<void(W&)> user, const QString& name = {}, std::function<bool(W&)> ready = {}) {
    auto timer = std::make_unique<QTimer>();
    QTimer* raw = timer.get();
    auto ticks = std::make_shared<int>(0);
    auto acted = std::make_shared<bool>(false);
    QObject::connect(raw, &QTimer::timeout, raw, [user, name, ready, ticks, acted] {
      auto* shown = qobject_cast<W*>(QApplication::activeModalWidget());
      if (!*acted && shown != nullptr && shown->isVisible() && (name.isEmpty() || shown->objectName() == name) &&
          (!ready || ready(*shown))) {
        *acted = true;
        user(*shown);
        return;
      }
      if (++*ticks == 500) {
        ADD_FAILURE() << "a window is still up for the scripted user";
        if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) modal->reject();
      }
    });
    raw->start(10);
    timers_.push_back(std::move(timer));
  }

  template <typename W>
  static W* Find(QWidget& dialog, int id) {
    return dialog.findChild<W*>(ControlName(id));
  }

  std::vector<std::u16string> notices_;

 private:
  static inline std::unique_ptr<QApplication> application_;
  ScopedBackend scoped_;
  std::vector<std::unique_ptr<QTimer>> timers_;
};

}  // namespace sealrun::platform::ui::qt
