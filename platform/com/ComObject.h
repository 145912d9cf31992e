#pragma once
// The base of every COM object the system implements: an atomic reference count, QueryInterface over
// the listed interfaces (and the interfaces they extend), optional aggregation, and the module's count of
// live objects that DllCanUnloadNow reads.
//
//   class Counter final : public ComObject<Counter, IDispatch, IConnectionPointContainer> { ... };
//   ComPtr<Counter> counter;  HRESULT hr = Counter::Create(counter, constructor arguments...);
//
// Every interface names its IID as kIid and the interface it extends as Base. A class that may be
// aggregated declares `static constexpr bool kAggregatable = true;`.
#include <atomic>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

#include "platform/com/ComPtr.h"

namespace sealrun::platform::com {

// Live objects and server locks of the module (shared object or program) that compiles this header;
// hidden visibility gives each module its own counts, as each Windows DLL has its own.
[[gnu::visibility("hidden")]] inline std::atomic<long>& ModuleObjectCount() {
  static std::atomic<long> count{0};
  return count;
}
[[gnu::visibility("hidden")]] inline std::atomic<long>& ModuleLockCount() {
  static std::atomic<long> count{0};
  return count;
}
// What DllCanUnloadNow answers: S_OK when no object of the module lives and no lock is held.
[[gnu::visibility("hidden")]] inline HRESULT ModuleCanUnloadNow() {
  return ModuleObjectCount().load() == 0 && ModuleLockCount().load() == 0 ? S_OK : S_FALSE;
}

template <typename I>
constexpr bool InterfaceMatches(REFIID iid) {
  if (iid == I::kIid) return true;
  if constexpr (std::is_void_v<typename I::Base>) {
    return false;
  } else {
    static_assert(std::is_base_of_v<typename I::Base, I>, "an interface's Base must be the interface it extends");
    return InterfaceMatches<typename I::Base>(iid);
  }
}

template <typename Derived, typename First, typename... Rest>
class ComObject : public First, public Rest... {
 public:
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  // The IUnknown of every interface: delegates to the controlling unknown when aggregated.
  HRESULT QueryInterface(REFIID iid, void** object) override {
    return outer_ ? outer_->QueryInterface(iid, object) : InnerQueryInterface(iid, object);
  }
  ULONG AddRef() override { return outer_ ? outer_->AddRef() : InnerAddRef(); }
  ULONG Release() override { return outer_ ? outer_->Release() : InnerRelease(); }

  // Creates an object and answers `iid` from it, as IClassFactory::CreateInstance does. With an outer
  // unknown the class must be aggregatable and `iid` must be IUnknown (CLASS_E_NOAGGREGATION otherwise);
  // the answer is then the object's own non-delegating IUnknown.
  template <typename... Args>
  static HRESULT CreateObject(IUnknown* outer, REFIID iid, void** object, Args&&... args) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr && (!IsAggregatable() || !(iid == IID_IUnknown))) return CLASS_E_NOAGGREGATION;
    Derived* created = nullptr;
    if (const HRESULT hr = Construct(created, std::forward<Args>(args)...); FAILED(hr)) return hr;
    created->outer_ = outer;
    const HRESULT hr = created->InnerQueryInterface(iid, object);
    created->InnerRelease();
    return hr;
  }

  // Creates a stand-alone object held by `target`.
  template <typename... Args>
  static HRESULT Create(ComPtr<Derived>& target, Args&&... args) {
    Derived* created = nullptr;
    if (const HRESULT hr = Construct(created, std::forward<Args>(args)...); FAILED(hr)) return hr;
    target.Attach(created);
    return S_OK;
  }

 protected:
  ComObject() { ++ModuleObjectCount(); }
  virtual ~ComObject() { --ModuleObjectCount(); }

  // Runs once the object holds its first reference; a failure destroys the object.
  virtual HRESULT FinalConstruct() { return S_OK; }
  // Answers interfaces beyond the listed ones (a source interface answered by IDispatch, a tear-off...).
  // Must AddRef what it returns.
  virtual HRESULT QueryOtherInterface(REFIID /*iid*/, void** /*object*/) { return E_NOINTERFACE; }

  // The object's identity: the controlling unknown when aggregated.
  IUnknown* IdentityUnknown() { return outer_ ? outer_ : static_cast<IUnknown*>(static_cast<First*>(this)); }

 private:
  // The non-delegating IUnknown an aggregating outer object holds.
  class Inner final : public IUnknown {
   public:
    explicit Inner(ComObject* owner) : owner_(owner) {}
    HRESULT QueryInterface(REFIID iid, void** object) override { return owner_->InnerQueryInterface(iid, object); }
    ULONG AddRef() override { return owner_->InnerAddRef(); }
    ULONG Release() override { return owner_->InnerRelease(); }

   private:
    ComObject* owner_;
  };

  static constexpr bool IsAggregatable() {
    if constexpr (requires { Derived::kAggregatable; })
      return Derived::kAggregatable;
    else
      return false;
  }

  template <typename... Args>
  static HRESULT Construct(Derived*& created, Args&&... args) {
    try {
      created = std::make_unique<Derived>(std::forward<Args>(args)...).release();
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_FAIL;
    }
    created->InnerAddRef();
    HRESULT hr = E_FAIL;
    try {
      hr = static_cast<ComObject*>(created)->FinalConstruct();
    } catch (const std::bad_alloc&) {
      hr = E_OUTOFMEMORY;
    } catch (...) {
      hr = E_FAIL;
    }
    if (FAILED(hr)) {
      created->InnerRelease();
      created = nullptr;
    }
    return hr;
  }

  HRESULT InnerQueryInterface(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid == IID_IUnknown) {
      IUnknown* unknown = outer_ ? static_cast<IUnknown*>(&inner_) : static_cast<IUnknown*>(static_cast<First*>(this));
      unknown->AddRef();
      *object = unknown;
      return S_OK;
    }
    if (TryAnswer<First>(iid, object) || (TryAnswer<Rest>(iid, object) || ...)) return S_OK;
    return QueryOtherInterface(iid, object);
  }

  template <typename I>
  bool TryAnswer(REFIID iid, void** object) {
    if (!InterfaceMatches<I>(iid)) return false;
    I* answer = static_cast<I*>(this);
    answer->AddRef();
    *object = answer;
    return true;
  }

  ULONG InnerAddRef() { return ++references_; }
  ULONG InnerRelease() {
    const ULONG remaining = --references_;
    // The one place an object deletes itself: its last reference is gone.
    if (remaining == 0) delete static_cast<Derived*>(this);
    return remaining;
  }

  std::atomic<ULONG> references_{0};
  IUnknown* outer_ = nullptr;
  Inner inner_{this};
};

}  // namespace sealrun::platform::com
