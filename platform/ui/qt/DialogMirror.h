#pragma once
// A dialog model shown as a QDialog: one widget per control, laid out by itself (labels beside the fields
// they name, pictures on the side, OK/Cancel at the bottom). After each user action, and whenever the model
// may have changed, every widget is refreshed from its control; when the model ends the QDialog closes.
#include <QDialog>
#include <QTimer>
#include <memory>
#include <vector>

#include "platform/ui/Dialog.h"
#include "platform/ui/qt/ControlMirrors.h"

namespace sealrun::platform::ui::qt {

class DialogMirror : public QDialog {
  Q_OBJECT

 public:
  DialogMirror(Dialog& model, QWidget* parent);
  ~DialogMirror() override;

  WindowHandle ModelHandle() const { return handle_; }
  // The model, or null once it is gone.
  Dialog* Model() const;
  bool ModelEnded() const;
  // Copies every control's state into its widget (and the caption into the title).
  void Refresh();
  // Runs the modal loop until the model ends, pumping the window system's queue meanwhile.
  void RunModalLoop();
  bool InModalLoop() const { return inModalLoop_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void BuildControls(Dialog& model);
  void LayOut();
  void PumpAndRefresh();
  void AfterUserAction();
  void BeforeClick(int id);
  PadMirror* Pad() const;

  WindowHandle handle_;
  std::vector<std::unique_ptr<ControlMirror>> controls_;
  QTimer pump_;
  bool inModalLoop_ = false;
};

}  // namespace sealrun::platform::ui::qt
