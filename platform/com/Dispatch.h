#pragma once
// Table-driven IDispatch: an object lists its members (name, dispatch id, argument count and the
// handlers for method call, property get and property put); the table answers GetIDsOfNames without
// regard to case, as Windows does, checks flags and argument counts, and hands each handler the
// arguments in their natural order.
//
//   class Counter final : public DispatchObject<Counter, IDispatch> {
//    public:
//     static const DispatchTable<Counter>& DispatchMembers() {
//       static const DispatchTable<Counter> table{{
//           {.name = u"Add", .id = 1, .argCount = 2, .method = &Counter::Add},
//           {.name = u"Name", .id = 2, .get = &Counter::GetName, .put = &Counter::PutName}}};
//       return table;
//     }
//     HRESULT Add(DispatchCall& call);  ...
//   };
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/ComObject.h"
#include "platform/com/Guard.h"

namespace sealrun::platform::com {

// One call as a handler sees it.
class DispatchCall {
 public:
  DispatchCall(WORD flags, DISPPARAMS& params, VARIANT* result, EXCEPINFO* exception, UINT* argumentError);
  DispatchCall(const DispatchCall&) = delete;
  DispatchCall& operator=(const DispatchCall&) = delete;

  WORD Flags() const { return flags_; }
  // Positional arguments (a put's value not counted); index 0 is the first argument of the call.
  UINT ArgCount() const { return positional_; }
  const VARIANT& Arg(UINT index) const;
  // True when the argument was passed as "missing" (VT_ERROR with DISP_E_PARAMNOTFOUND).
  bool IsMissing(UINT index) const;
  // The argument converted to `type` (by-reference forms followed). On failure the argument's position
  // goes to puArgErr and DISP_E_TYPEMISMATCH (or DISP_E_OVERFLOW) is returned.
  HRESULT ArgAs(UINT index, VARTYPE type, Variant& value);
  HRESULT ArgInt(UINT index, int32_t& value);
  HRESULT ArgString(UINT index, std::u16string& value);
  HRESULT ArgBool(UINT index, bool& value);
  // VT_DISPATCH or VT_UNKNOWN answering IDispatch; null stays null.
  HRESULT ArgDispatch(UINT index, ComPtr<IDispatch>& value);

  // The value of a property put, as passed and converted.
  const VARIANT& PutValue() const;
  HRESULT PutValueAs(VARTYPE type, Variant& value);
  HRESULT PutInt(int32_t& value);
  HRESULT PutString(std::u16string& value);
  HRESULT PutBool(bool& value);

  // The caller's result variant (a scratch one when the caller passed none). It keeps the caller's value
  // until a handler writes it, so a failing call leaves it as it was; write it through the Return helpers.
  VARIANT* Result() { return result_; }
  HRESULT ReturnInt(int32_t value);
  HRESULT ReturnBool(bool value);
  HRESULT ReturnString(std::u16string_view value);
  HRESULT ReturnVariant(const VARIANT& value);

  // Reports an error through EXCEPINFO; returns DISP_E_EXCEPTION for the handler to return.
  HRESULT Raise(HRESULT code, std::u16string_view description);

 private:
  UINT RawIndex(UINT index) const { return params_.cArgs - 1 - index; }

  WORD flags_;
  DISPPARAMS& params_;
  UINT positional_;
  Variant scratch_;  // before result_, which may point at it
  VARIANT* result_;
  EXCEPINFO* exception_;
  UINT* argumentError_;
};

template <typename T>
struct DispatchMember {
  std::u16string_view name;
  DISPID id = 0;
  UINT argCount = 0;
  HRESULT (T::*method)(DispatchCall&) = nullptr;
  HRESULT (T::*get)(DispatchCall&) = nullptr;
  HRESULT (T::*put)(DispatchCall&) = nullptr;
};

enum class DispatchAccess { Method, PropertyGet, PropertyPut };

struct DispatchSignature {
  bool method = false;
  bool get = false;
  bool put = false;
  UINT argCount = 0;
};

// Picks the accessor for the flags and checks the argument shape: DISP_E_MEMBERNOTFOUND when the member
// has no such accessor, DISP_E_BADPARAMCOUNT, DISP_E_NONAMEDARGS, DISP_E_PARAMNOTFOUND (a put without
// its DISPID_PROPERTYPUT value).
HRESULT ChooseDispatchAccess(const DispatchSignature& signature, WORD flags, const DISPPARAMS& params,
                             DispatchAccess& access);
// GetIDsOfNames over a list of names: the first name is the member, any further names (parameter names)
// are not supported and come back as DISPID_UNKNOWN with DISP_E_UNKNOWNNAME.
HRESULT LookupDispatchNames(const std::vector<std::u16string>& lowerNames, const std::vector<DISPID>& ids,
                            REFIID iid, LPOLESTR* names, UINT count, DISPID* result);
// What Invoke answers for an exception that escaped a handler (other than std::bad_alloc, which gives
// E_OUTOFMEMORY): DISP_E_EXCEPTION, with E_FAIL and the exception's text in `exception` when the caller gave one.
HRESULT RaiseEscapedException(EXCEPINFO* exception, std::string_view what) noexcept;

template <typename T>
class DispatchTable {
 public:
  DispatchTable(std::initializer_list<DispatchMember<T>> members) : members_(members) {
    for (const auto& member : members_) {
      lowerNames_.push_back(LowerAscii(member.name));
      ids_.push_back(member.id);
    }
  }

  HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID /*locale*/, DISPID* ids) const {
    return LookupDispatchNames(lowerNames_, ids_, iid, names, count, ids);
  }

  // Calls the member's handler; DispatchObject::Invoke guards the call.
  HRESULT Invoke(T& self, DISPID id, REFIID iid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* exception, UINT* argumentError) const {
    if (!(iid == IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (params == nullptr) return E_INVALIDARG;
    const DispatchMember<T>* member = Find(id);
    if (member == nullptr) return DISP_E_MEMBERNOTFOUND;
    DispatchAccess access = DispatchAccess::Method;
    const DispatchSignature signature{member->method != nullptr, member->get != nullptr, member->put != nullptr,
                                      member->argCount};
    if (const HRESULT hr = ChooseDispatchAccess(signature, flags, *params, access); FAILED(hr)) return hr;
    const auto handler = access == DispatchAccess::Method        ? member->method
                         : access == DispatchAccess::PropertyGet ? member->get
                                                                 : member->put;
    DispatchCall call(flags, *params, result, exception, argumentError);
    return (self.*handler)(call);
  }

 private:
  static std::u16string LowerAscii(std::u16string_view text) {
    std::u16string lower(text);
    for (auto& c : lower)
      if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    return lower;
  }

  const DispatchMember<T>* Find(DISPID id) const {
    for (const auto& member : members_)
      if (member.id == id) return &member;
    return nullptr;
  }

  std::vector<DispatchMember<T>> members_;
  std::vector<std::u16string> lowerNames_;
  std::vector<DISPID> ids_;
};

// IDispatch for a class whose members are in `Derived::DispatchMembers()`. Other interfaces may follow;
// every IDispatch among them is answered by the same table. Names are looked up and members called inside the
// guard (Guard.h): an exception a handler throws is reported through EXCEPINFO and never reaches the caller.
template <typename Derived, typename DispInterface, typename... Others>
class DispatchObject : public ComObject<Derived, DispInterface, Others...> {
 public:
  HRESULT GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT /*index*/, LCID /*locale*/, ITypeInfo** typeInfo) override {
    if (typeInfo != nullptr) *typeInfo = nullptr;
    return DISP_E_BADINDEX;
  }
  HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override {
    return Guard({ClassName<Derived>(), "GetIDsOfNames"},
                 [&] { return Derived::DispatchMembers().GetIDsOfNames(iid, names, count, locale, ids); });
  }
  HRESULT Invoke(DISPID member, REFIID iid, LCID /*locale*/, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* exception, UINT* argumentError) override {
    const auto raise = [exception](std::string_view what) noexcept { return RaiseEscapedException(exception, what); };
    return Guard({ClassName<Derived>(), "Invoke"}, raise, [&] {
      return Derived::DispatchMembers().Invoke(static_cast<Derived&>(*this), member, iid, flags, params, result,
                                               exception, argumentError);
    });
  }
};

}  // namespace sealrun::platform::com
