#include "platform/ui/qt/QtBackend.h"

#include <QApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QStatusBar>
#include <map>

#include "platform/ui/Controls.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/qt/DialogMirror.h"
#include "platform/ui/qt/QtText.h"
#include "platform/ui/qt/StandardDialogs.h"

namespace sealrun::platform::ui {

using qt::DialogMirror;

class QtBackend::Impl {
 public:
  explicit Impl(QtBackendOptions options) : options_(std::move(options)) {}
  ~Impl() {
    for (auto& [handle, mirror] : mirrors_) Dispose(mirror);
  }

  const QtBackendOptions& Options() const { return options_; }

  // The Qt window of a model window, else the window the user is working in.
  QWidget* OwnerFor(WindowHandle owner) {
    if (auto found = mirrors_.find(owner); found != mirrors_.end() && found->second && found->second->isVisible())
      return found->second;
    return FallbackOwner();
  }

  QWidget* FallbackOwner() const {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    if (QWidget* active = QApplication::activeWindow()) return active;
    for (QWidget* top : QApplication::topLevelWidgets())
      if (qobject_cast<QMainWindow*>(top) != nullptr && top->isVisible()) return top;
    return nullptr;
  }

  DialogMirror& MirrorOf(Dialog& dialog) {
    DisposeEnded();
    QPointer<DialogMirror>& mirror = mirrors_[dialog.Handle()];
    // Owned by its Qt parent when there is one; the backend disposes of it when the dialog ends.
    if (!mirror) mirror = new DialogMirror(dialog, FallbackOwner());
    return *mirror;
  }

  void Forget(WindowHandle handle) {
    if (auto found = mirrors_.find(handle); found != mirrors_.end()) {
      Dispose(found->second);
      mirrors_.erase(found);
    }
  }

  // Mirrors of dialogs that ended without a modal loop (a run inside OnInitDialog that ended the dialog).
  void DisposeEnded() {
    for (auto it = mirrors_.begin(); it != mirrors_.end();) {
      if (!it->second || (it->second->ModelEnded() && !it->second->InModalLoop())) {
        Dispose(it->second);
        it = mirrors_.erase(it);
      } else {
        ++it;
      }
    }
  }

 private:
  static void Dispose(QPointer<DialogMirror>& mirror) {
    const std::unique_ptr<DialogMirror> owned(mirror.data());  // null when its Qt parent deleted it first
  }

  QtBackendOptions options_;
  std::map<WindowHandle, QPointer<DialogMirror>> mirrors_;
};

QtBackend::QtBackend(QtBackendOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}

QtBackend::~QtBackend() = default;

int QtBackend::ShowMessageBox(const MessageBoxRequest& request) {
  return qt::RunMessageBox(impl_->OwnerFor(request.owner), request);
}

std::optional<OpenFileAnswer> QtBackend::ShowOpenFileDialog(const OpenFileRequest& request) {
  return qt::RunOpenFileDialog(impl_->OwnerFor(request.owner), request, impl_->Options().nativeFileDialogs);
}

std::optional<std::u16string> QtBackend::ShowSaveFileDialog(const SaveFileRequest& request) {
  return qt::RunSaveFileDialog(impl_->OwnerFor(request.owner), request, impl_->Options().nativeFileDialogs);
}

void QtBackend::RunModal(Dialog& dialog) {
  const WindowHandle handle = dialog.Handle();
  impl_->MirrorOf(dialog).RunModalLoop();
  impl_->Forget(handle);
}

void QtBackend::ProgressChanged(const ProgressBar& bar) {
  Dialog* dialog = nullptr;
  for (Window* up = bar.Parent(); up != nullptr && dialog == nullptr; up = up->Parent())
    dialog = dynamic_cast<Dialog*>(up);
  if (dialog == nullptr || !dialog->IsRunning()) return;
  DialogMirror& mirror = impl_->MirrorOf(*dialog);
  // Disabled states are copied before events are handled, so the user cannot reach what the run disabled.
  mirror.Refresh();
  if (!mirror.isVisible()) mirror.show();
  QCoreApplication::processEvents();
}

void QtBackend::ShowNotice(const std::u16string& text) {
  if (impl_->Options().noticeSink) {
    impl_->Options().noticeSink(text);
    return;
  }
  if (auto* window = qobject_cast<QMainWindow*>(impl_->FallbackOwner())) {
    window->statusBar()->showMessage(qt::ToQString(text));
    return;
  }
  // No status line to use: a box that asks nothing and does not wait.
  auto* box = new QMessageBox(QMessageBox::Information, QApplication::applicationDisplayName(), qt::ToQString(text),
                              QMessageBox::Ok, impl_->FallbackOwner());
  box->setAttribute(Qt::WA_DeleteOnClose);  // owned by itself from here on
  box->setWindowModality(Qt::NonModal);
  box->show();
}

}  // namespace sealrun::platform::ui
