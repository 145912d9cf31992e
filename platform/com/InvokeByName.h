#pragma once
// Calls by member name through IDispatch, the way the system reaches every automation component:
// GetIDsOfNames with the null IID and locale 0x400, then Invoke with the arguments placed in reverse
// order in DISPPARAMS and, for a property put, the value named DISPID_PROPERTYPUT.
#include <initializer_list>
#include <span>
#include <string_view>

#include "platform/com/Interfaces.h"

namespace sealrun::platform::com {

inline constexpr LCID kAutomationLocale = 0x0400;

// `args` in natural order (the first argument of the call first). When the name does not resolve the
// call is skipped, `result` keeps its value and DISP_E_UNKNOWNNAME is returned. `result` and `exception`
// may be null.
HRESULT InvokeByName(IDispatch* object, std::u16string_view name, WORD flags, std::span<const VARIANT> args,
                     VARIANT* result, EXCEPINFO* exception = nullptr);
HRESULT InvokeByName(IDispatch* object, std::u16string_view name, WORD flags, std::initializer_list<Variant> args,
                     VARIANT* result, EXCEPINFO* exception = nullptr);
// The same with a known dispatch id.
HRESULT InvokeById(IDispatch* object, DISPID id, WORD flags, std::span<const VARIANT> args, VARIANT* result,
                   EXCEPINFO* exception = nullptr);
// GetIDsOfNames for one name (null IID, locale 0x400).
HRESULT GetDispatchId(IDispatch* object, std::u16string_view name, DISPID& id);

}  // namespace sealrun::platform::com
