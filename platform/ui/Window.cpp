#include "platform/ui/Window.h"

#include <deque>
#include <unordered_map>

namespace sealrun::platform::ui {
namespace {

struct QueuedMessage {
  WindowHandle target;
  uint32_t message;
  WParam wParam;
  LParam lParam;
};

// The window system's state: one user-interface thread, as on the desktop.
struct WindowSystem {
  std::unordered_map<WindowHandle, Window*> windows;
  WindowHandle nextHandle = 0x10000;
  std::deque<QueuedMessage> queue;
  WindowHandle active = 0;
};

WindowSystem& System() {
  static WindowSystem system;
  return system;
}

}  // namespace

Window::Window(std::u16string className, int id) : className_(std::move(className)), id_(id) {
  auto& system = System();
  handle_ = system.nextHandle++;
  system.windows[handle_] = this;
}

Window::~Window() {
  children_.clear();  // children go first, while their parent still exists
  auto& system = System();
  system.windows.erase(handle_);
  if (system.active == handle_) system.active = 0;
}

Window* Window::Child(int id) const {
  for (const auto& child : children_) {
    if (child->id_ == id) return child.get();
    if (Window* found = child->Child(id)) return found;
  }
  return nullptr;
}

void Window::SetText(std::u16string text) { text_ = std::move(text); }

void Window::Move(Rect bounds) {
  const bool resized = bounds.Width() != bounds_.Width() || bounds.Height() != bounds_.Height();
  bounds_ = bounds;
  if (resized) {
    const auto size = (static_cast<LParam>(static_cast<uint16_t>(bounds.Height())) << 16) |
                      static_cast<uint16_t>(bounds.Width());
    HandleMessage(kWmSize, 0, size);
  }
}

LResult Window::HandleMessage(uint32_t, WParam, LParam) { return 0; }

void Window::NotifyParentCommand(int code) {
  if (parent_) SendMessage(parent_->Handle(), kWmCommand, MakeCommandParam(id_, code), handle_);
}

void Window::AdoptChild(std::unique_ptr<Window> child) {
  child->parent_ = this;
  children_.push_back(std::move(child));
}

Window* FromHandle(WindowHandle handle) {
  auto& windows = System().windows;
  const auto found = windows.find(handle);
  return found == windows.end() ? nullptr : found->second;
}

LResult SendMessage(WindowHandle target, uint32_t message, WParam wParam, LParam lParam) {
  Window* window = FromHandle(target);
  return window ? window->HandleMessage(message, wParam, lParam) : 0;
}

void PostMessage(WindowHandle target, uint32_t message, WParam wParam, LParam lParam) {
  System().queue.push_back({target, message, wParam, lParam});
}

bool PumpOneMessage() {
  auto& queue = System().queue;
  if (queue.empty()) return false;
  const QueuedMessage next = queue.front();
  queue.pop_front();
  SendMessage(next.target, next.message, next.wParam, next.lParam);
  return true;
}

size_t PendingMessageCount() { return System().queue.size(); }

Window* ActiveWindow() { return FromHandle(System().active); }

void SetActiveWindow(Window* window) { System().active = window ? window->Handle() : 0; }

}  // namespace sealrun::platform::ui
