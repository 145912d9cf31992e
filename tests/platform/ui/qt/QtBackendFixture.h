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
#include "tests/testsupport/QtSuite.h"
#include "tests/testsupport/ScriptedUser.h"

namespace sealrun::platform::ui::qt {

class QtBackendTest : public sealrun::testing::QtSuite {
 protected:
  QtBackendTest()
      : scoped_(std::make_unique<QtBackend>(QtBackendOptions{
            [this](const std::u16string& text) { notices_.push_back(text); }, /*nativeFileDialogs=*/false})) {}

  // Plays `user` once, on the next modal window of type W that shows (named `name` when given) and is `ready`;
  // windows left up or never shown fail the test (ScriptedUser), so a test that goes wrong does not hang.
  template <typename W>
  void WhenShown(std::function<void(W&)> user, const QString& name = {}, std::function<bool(W&)> ready = {}) {
    user_.Then<W>(std::move(user), name, std::move(ready));
  }

  template <typename W>
  static W* Find(QWidget& dialog, int id) {
    return dialog.findChild<W*>(ControlName(id));
  }

  std::vector<std::u16string> notices_;

 private:
  ScopedBackend scoped_;
  sealrun::testing::ScriptedUser user_;
};

}  // namespace sealrun::platform::ui::qt
