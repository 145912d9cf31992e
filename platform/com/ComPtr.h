#pragma once
// Holds one interface reference: AddRef on copy, Release on destruction, on every path.
#include <utility>

#include "platform/com/Interfaces.h"

namespace sealrun::platform::com {

template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes a new reference to `object`.
  explicit ComPtr(T* object) : object_(object) {
    if (object_) object_->AddRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.object_) {}
  ComPtr(ComPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  ComPtr& operator=(const ComPtr& other) {
    ComPtr(other).Swap(*this);
    return *this;
  }
  ComPtr& operator=(ComPtr&& other) noexcept {
    ComPtr(std::move(other)).Swap(*this);
    return *this;
  }
  ~ComPtr() { Reset(); }

  T* Get() const { return object_; }
  T* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

  void Reset() {
    if (T* object = std::exchange(object_, nullptr)) object->Release();
  }
  // Adopts a reference the caller already owns (no AddRef).
  void Attach(T* object) {
    Reset();
    object_ = object;
  }
  // Gives up the reference without releasing it.
  T* Detach() { return std::exchange(object_, nullptr); }
  void Swap(ComPtr& other) noexcept { std::swap(object_, other.object_); }

  // Releases the current reference and gives the address for an out parameter.
  T** Out() {
    Reset();
    return &object_;
  }
  void** OutVoid() { return reinterpret_cast<void**>(Out()); }

  // A new reference for the caller's out parameter.
  HRESULT CopyTo(T** target) const {
    if (target == nullptr) return E_POINTER;
    *target = object_;
    if (object_) object_->AddRef();
    return S_OK;
  }

  // QueryInterface for U (by U::kIid).
  template <typename U>
  HRESULT As(ComPtr<U>& target) const {
    if (object_ == nullptr) return E_POINTER;
    return object_->QueryInterface(U::kIid, target.OutVoid());
  }
  template <typename U>
  ComPtr<U> As() const {
    ComPtr<U> target;
    As(target);
    return target;
  }

  friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.object_ == b.object_; }
  friend bool operator==(const ComPtr& a, std::nullptr_t) { return a.object_ == nullptr; }

 private:
  T* object_ = nullptr;
};

// Both pointers name the same object when their IUnknown identities match.
bool IsSameObject(IUnknown* a, IUnknown* b);

}  // namespace sealrun::platform::com
