#pragma once
// One instance of an automation component, held for one operation: created by class id with class
// context 0x17 asking for IUnknown, then queried for IDispatch; both references are released with the
// object. Members are called by name (locale 0x400, arguments in reverse order in the call). A name that
// does not resolve skips the call and leaves the result as the caller initialised it. An object that could
// not be created calls nothing: every call answers E_POINTER and leaves the result alone. Out of memory
// while making a BSTR argument throws std::bad_alloc, which the module's entry points answer with
// E_OUTOFMEMORY.
#include <initializer_list>
#include <string_view>

#include "platform/com/ComPtr.h"
#include "platform/com/Guid.h"
#include "platform/com/Interfaces.h"
#include "platform/com/Variant.h"

namespace sealrun::seal {

class AutomationObject {
 public:
  // The component's instance; an empty object (IsValid() false) when it cannot be created or does not
  // answer IDispatch.
  static AutomationObject Create(const platform::com::CLSID& clsid);
  // An object handed out by another component (a seal's header object); null gives an empty object.
  static AutomationObject FromDispatch(platform::com::IDispatch* dispatch);

  AutomationObject(AutomationObject&&) noexcept = default;
  AutomationObject& operator=(AutomationObject&&) noexcept = default;
  AutomationObject(const AutomationObject&) = delete;
  AutomationObject& operator=(const AutomationObject&) = delete;

  bool IsValid() const { return static_cast<bool>(dispatch_); }
  // Why creation failed (S_OK for a valid object).
  platform::com::HRESULT CreationResult() const { return creationResult_; }
  platform::com::IDispatch* Dispatch() const { return dispatch_.Get(); }

  // Method call; `result` keeps its value when the name does not resolve or the call fails before the
  // component answers.
  platform::com::HRESULT Call(std::u16string_view name, std::initializer_list<platform::com::Variant> args,
                              platform::com::Variant& result) const;
  platform::com::HRESULT Call(std::u16string_view name,
                              std::initializer_list<platform::com::Variant> args = {}) const;
  // Property get, with arguments for an indexed property.
  platform::com::HRESULT Get(std::u16string_view name, platform::com::Variant& result,
                             std::initializer_list<platform::com::Variant> args = {}) const;
  platform::com::HRESULT Put(std::u16string_view name, const platform::com::Variant& value) const;

 private:
  AutomationObject() = default;
  platform::com::HRESULT Invoke(std::u16string_view name, platform::com::WORD flags,
                                std::initializer_list<platform::com::Variant> args,
                                platform::com::VARIANT* result) const;

  platform::com::ComPtr<platform::com::IUnknown> unknown_;
  platform::com::ComPtr<platform::com::IDispatch> dispatch_;
  platform::com::HRESULT creationResult_ = platform::com::S_OK;
};

}  // namespace sealrun::seal
