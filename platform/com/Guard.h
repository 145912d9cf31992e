#pragma once
// The guard around every entry point of a COM module and object: the module's exported functions, class
// factories, IDispatch::Invoke, interface methods and event sinks run their bodies inside it, so no exception
// leaves them. An exception becomes E_OUTOFMEMORY (std::bad_alloc) or the method's failure value (E_UNEXPECTED
// unless the method documents another) and is written to the debug trace with the function's name.
//
//   HRESULT CPane::CreateControlWindow(HostWindowHandle parent, HostWindowHandle* window) {
//     return Guard("CPane::CreateControlWindow", [&] { ...; return S_OK; });
//   }
#include <concepts>
#include <exception>
#include <new>
#include <string_view>
#include <type_traits>
#include <utility>

#include "platform/com/HResult.h"

namespace sealrun::platform::com {

// The name a guarded function is traced by: "Class::Method", or a class and a method apart where the class is
// a template parameter (ClassName<T>()).
struct GuardedName {
  GuardedName(const char* name) : function(name) {}  // NOLINT: implicit on purpose, a literal names it
  GuardedName(std::string_view ofClass, std::string_view method) : className(ofClass), function(method) {}

  std::string_view className;
  std::string_view function;
};

// Writes "com: NAME: WHAT" to the debug trace; never throws.
void TraceGuardedException(const GuardedName& name, std::string_view what) noexcept;

// The unqualified name of a class, read from the compiler's name of this function.
template <typename T>
constexpr std::string_view ClassName() {
  std::string_view name = __PRETTY_FUNCTION__;  // "... ClassName() [with T = a::b::Name; ...]" or "[T = a::b::Name]"
  name.remove_prefix(name.find("T = ") + 4);
  name = name.substr(0, name.find_first_of(";]"));
  if (const std::size_t scope = name.rfind("::"); scope != std::string_view::npos) name.remove_prefix(scope + 2);
  return name;
}

// What a guarded method answers for an exception other than std::bad_alloc: an HRESULT, or a callable that is
// handed the exception's text (empty for one that is not a std::exception), reports it the method's own way and
// answers the HRESULT.
template <typename Failure>
concept GuardFailure =
    std::same_as<Failure, HRESULT> || std::is_nothrow_invocable_r_v<HRESULT, Failure&, std::string_view>;

template <GuardFailure Failure, typename Body>
HRESULT Guard(const GuardedName& name, Failure failure, Body&& body) noexcept {
  const auto fail = [&](std::string_view what) noexcept -> HRESULT {
    if constexpr (std::same_as<Failure, HRESULT>)
      return failure;
    else
      return failure(what);
  };
  try {
    return std::forward<Body>(body)();
  } catch (const std::bad_alloc&) {
    TraceGuardedException(name, "out of memory");
    return E_OUTOFMEMORY;
  } catch (const std::exception& error) {
    TraceGuardedException(name, error.what());
    return fail(error.what());
  } catch (...) {
    TraceGuardedException(name, "an exception that is not a std::exception");
    return fail({});
  }
}

template <typename Body>
HRESULT Guard(const GuardedName& name, Body&& body) noexcept {
  return Guard(name, E_UNEXPECTED, std::forward<Body>(body));
}

}  // namespace sealrun::platform::com
