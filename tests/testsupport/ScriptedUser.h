#pragma once
// A user who answers the windows the code under test opens inside its own modal loops: each step waits for
// its window (the active modal window, or the popup menu on show) to appear, plays on it, and gives way to
// the next. A step whose window does not appear within ten seconds fails the test and closes what is open,
// so a test that goes wrong fails instead of hanging. Header only: the test programs that include it link
// Qt themselves.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>
#include <deque>
#include <functional>
#include <string>

namespace sealrun::testing {

class ScriptedUser {
 public:
  ScriptedUser() {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start(10);
  }

  // Plays `act` on the next window of type W (named `name` when given) once `ready` says the window is ready
  // for the user (a run in it has ended, say).
  template <typename W>
  void Then(std::function<void(W&)> act, const QString& name = {}, std::function<bool(W&)> ready = {}) {
    steps_.push_back([act, name, ready]() -> std::function<void()> {
      W* shown = qobject_cast<W*>(QApplication::activePopupWidget());
      if (shown == nullptr) shown = qobject_cast<W*>(QApplication::activeModalWidget());
      if (shown == nullptr || !shown->isVisible() || (!name.isEmpty() && shown->objectName() != name)) return {};
      if (ready && !ready(*shown)) return {};
      return [act, shown] { act(*shown); };
    });
  }

  bool Done() const { return steps_.empty(); }

 private:
  // A step is taken off before it plays, and plays outside this timer's handler: what it does may open a
  // window of its own with a modal loop, in which this timer must go on firing so the next step answers it
  // (a timer does not fire again while its own handler runs).
  void Poll() {
    if (steps_.empty()) {
      // A window nobody was told to answer: after ten seconds it is reported and closed.
      if (QApplication::activeModalWidget() == nullptr && QApplication::activePopupWidget() == nullptr) {
        waited_ = 0;
      } else if (++waited_ > 1000) {
        Fail("a window showed that the user was not told to answer");
      }
      return;
    }
    if (const std::function<void()> play = steps_.front()()) {
      steps_.pop_front();
      waited_ = 0;
      QTimer::singleShot(0, play);
    } else if (++waited_ > 1000) {
      Fail("a window the user was to answer did not show");
    }
  }

  void Fail(const std::string& what) {
    const QWidget* shown = QApplication::activeModalWidget();
    auto* box = qobject_cast<const QMessageBox*>(shown);
    ADD_FAILURE() << what << "; on show: "
                  << (shown != nullptr ? shown->metaObject()->className() + std::string(" \"") +
                                             shown->windowTitle().toStdString() + "\" " +
                                             (box != nullptr ? box->text().toStdString() : shown->objectName().toStdString())
                                       : std::string("no modal window"));
    steps_.clear();
    waited_ = 0;
    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) menu->close();
    if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) modal->reject();
  }

  QTimer timer_;
  std::deque<std::function<std::function<void()>()>> steps_;
  int waited_ = 0;
};

}  // namespace sealrun::testing
