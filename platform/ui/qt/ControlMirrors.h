#pragma once
// One widget per control of a dialog: made for the control's kind, refreshed from the control's state, and
// the user's actions on it handed to the control as the user's own (Edit::Type, Button::Click, ...), so the
// dialog's logic runs through WM_COMMAND as it does without a screen. Controls are reached by handle, so a
// control that is gone is never touched.
#include <QImage>
#include <functional>
#include <memory>
#include <vector>

#include "platform/ui/Window.h"

class QWidget;

namespace sealrun::platform::ui::qt {

class WritingPad;

// Where a control's widget goes in the dialog's layout.
enum class Placement {
  Caption,  // a text naming the field that follows it
  Field,    // an edit or a combo box
  Choice,   // a radio button, which may head the field that follows it
  Wide,     // a row of its own
  Side,     // a picture beside the form
  Top,      // a large area above the form (the writing pad)
  Action,   // the OK/Cancel row at the bottom
};

struct MirrorHooks {
  std::function<void(int id)> beforeClick;  // the user is about to click the button with this id
  std::function<void()> afterAction;        // the user acted: the dialog pumps, refreshes and may close
};

class ControlMirror {
 public:
  ControlMirror(const Window& control, QWidget* widget, Placement placement);
  virtual ~ControlMirror() = default;
  ControlMirror(const ControlMirror&) = delete;
  ControlMirror& operator=(const ControlMirror&) = delete;

  QWidget* Widget() const { return widget_; }
  Placement Where() const { return placement_; }
  int Id() const { return id_; }
  // Copies the control's state into the widget; hides the widget once the control is gone.
  void Refresh();

 protected:
  template <typename T>
  T* Control() const {
    return dynamic_cast<T*>(FromHandle(handle_));
  }
  virtual void RefreshFrom(Window& control) = 0;

 private:
  WindowHandle handle_;
  int id_;
  QWidget* widget_;  // owned by the dialog's widget tree
  Placement placement_;
};

// The writing window's pad: the user writes on it; on OK what was written is handed over as a picture.
class PadMirror : public ControlMirror {
 public:
  PadMirror(const Window& control, WritingPad* pad);
  WritingPad* Pad() const { return pad_; }
  // PNG bytes of what was written; empty when nothing was.
  std::vector<uint8_t> Picture() const;

 protected:
  void RefreshFrom(Window& control) override;

 private:
  WritingPad* pad_;
  const void* shownImage_ = nullptr;
};

// The mirror of a control with its widget made as a child of `parent`, or null for a kind shown by no widget.
std::unique_ptr<ControlMirror> MirrorControl(Window& control, QWidget* parent, const MirrorHooks& hooks);

}  // namespace sealrun::platform::ui::qt
