#pragma once
// Windows as objects with state. A window has a handle that stays valid while it lives; messages are
// addressed by handle, so a message for a window that is gone is dropped instead of reaching freed memory.
// Windows own their children.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/Messages.h"

namespace sealrun::platform::ui {

using WindowHandle = uint32_t;  // 0 is no window

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool operator==(const Rect&) const = default;
};

// The header of a WM_NOTIFY message; lParam points to it while the message is sent.
struct NotifyHeader {
  WindowHandle from = 0;
  int idFrom = 0;
  int code = 0;
};

class Window {
 public:
  explicit Window(std::u16string className, int id = 0);
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  WindowHandle Handle() const { return handle_; }
  const std::u16string& ClassName() const { return className_; }
  int Id() const { return id_; }
  Window* Parent() const { return parent_; }

  // Adds a child window and returns it, typed.
  template <typename T>
  T* AddChild(std::unique_ptr<T> child) {
    T* raw = child.get();
    AdoptChild(std::move(child));
    return raw;
  }
  // The child with this control id (GetDlgItem), searched depth-first; null when there is none.
  Window* Child(int id) const;
  template <typename T>
  T* ChildAs(int id) const {
    return dynamic_cast<T*>(Child(id));
  }
  const std::vector<std::unique_ptr<Window>>& Children() const { return children_; }

  const std::u16string& Text() const { return text_; }
  virtual void SetText(std::u16string text);
  bool IsEnabled() const { return enabled_; }
  void Enable(bool enabled) { enabled_ = enabled; }
  bool IsVisible() const { return visible_; }
  void Show(bool visible) { visible_ = visible; }
  uint32_t Style() const { return style_; }
  uint32_t ExStyle() const { return exStyle_; }
  void SetStyle(uint32_t style) { style_ = style; }
  void SetExStyle(uint32_t exStyle) { exStyle_ = exStyle; }
  const Rect& Bounds() const { return bounds_; }
  // Moves the window; sends WM_SIZE with the new client size when the size changed.
  void Move(Rect bounds);

  // The window procedure: handles a message and returns its result. The default does nothing.
  virtual LResult HandleMessage(uint32_t message, WParam wParam, LParam lParam);

 protected:
  // Tells the parent about a command of this control (WM_COMMAND with id and code).
  void NotifyParentCommand(int code);

 private:
  void AdoptChild(std::unique_ptr<Window> child);

  WindowHandle handle_;
  std::u16string className_;
  int id_;
  Window* parent_ = nullptr;
  std::vector<std::unique_ptr<Window>> children_;
  std::u16string text_;
  bool enabled_ = true;
  bool visible_ = true;
  uint32_t style_ = 0;
  uint32_t exStyle_ = 0;
  Rect bounds_;
};

// The live window with this handle, or null.
Window* FromHandle(WindowHandle handle);

// Delivers a message now and returns the window's answer (0 when the window is gone).
LResult SendMessage(WindowHandle target, uint32_t message, WParam wParam = 0, LParam lParam = 0);
// Queues a message for later delivery.
void PostMessage(WindowHandle target, uint32_t message, WParam wParam = 0, LParam lParam = 0);
// Takes at most one pending message and delivers it; false when the queue was empty.
bool PumpOneMessage();
size_t PendingMessageCount();

// The active window (owner of message boxes and modal dialogs); null when there is none or it is gone.
Window* ActiveWindow();
void SetActiveWindow(Window* window);

}  // namespace sealrun::platform::ui
