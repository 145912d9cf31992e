#pragma once
// The reader's main window: open documents in tabs, with zoom and view rotation.
#include <QMainWindow>
#include <QString>

class QTabWidget;

namespace sealrun::reader {

class DocumentView;

class ReaderWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit ReaderWindow(QWidget* parent = nullptr);

  // Opens a PDF file in a new tab; false, with the reason in a message box and the status line, when it
  // cannot be opened.
  bool OpenFile(const QString& path);
  DocumentView* CurrentView() const;
  int DocumentCount() const;

 private:
  void AskAndOpen();
  QTabWidget* tabs_ = nullptr;
};

}  // namespace sealrun::reader
