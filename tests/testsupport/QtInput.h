#pragma once
// What a user does with the pointer and the keyboard in Qt windows, for the tests of windows (header only: the
// test programs that include it link Qt's test library themselves).
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTest>

namespace sealrun::testing {

// The pointer moved over a widget with no button down (delivered at once, whatever the platform's pointer does).
inline void MovePointer(QWidget* widget, QPoint to) {
  QMouseEvent move(QEvent::MouseMove, to, widget->mapToGlobal(to), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(widget, &move);
}

// A stroke of the pen: pressed at `from`, dragged in ten steps, released at `to`.
inline void DrawStroke(QWidget* pad, QPoint from, QPoint to) {
  QTest::mousePress(pad, Qt::LeftButton, {}, from);
  for (int step = 1; step <= 10; ++step) {
    const QPoint at = from + (to - from) * step / 10;
    QMouseEvent move(QEvent::MouseMove, at, pad->mapToGlobal(at), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(pad, &move);
  }
  QTest::mouseRelease(pad, Qt::LeftButton, {}, to);
}

// Answers Qt's own file dialog: goes to `folder`, types `names` into the name field (several names quoted, as
// the dialog takes them) and presses Open or Save. Typed rather than selected: the dialog reads the folder's
// listing in the background, and a selection made before it arrives is lost.
inline void AnswerFileDialog(QFileDialog& dialog, const QString& folder, const QString& names) {
  dialog.setDirectory(folder);
  auto* field = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  if (field != nullptr) field->setText(names);
  static_cast<QDialog&>(dialog).accept();
}

}  // namespace sealrun::testing
