// A small in-process server: the "Sealrun.TestCounter" class with a method, a property and an event,
// registered and created the way the system's component modules are.
#include <stdexcept>
#include <string>

#include "platform/com/ConnectionPoint.h"
#include "platform/com/Dispatch.h"
#include "platform/com/Registration.h"
#include "platform/com/ServerModule.h"
#include "tests/platform/com/server/TestServerIds.h"

namespace sealrun::platform::com::testserver {
namespace {

class Counter final : public DispatchObject<Counter, IDispatch, IConnectionPointContainer> {
 public:
  Counter() : events_(this, kCounterEventsIid) {}

  static const DispatchTable<Counter>& DispatchMembers() {
    static const DispatchTable<Counter> table{{
        {.name = u"Add", .id = 1, .argCount = 2, .method = &Counter::Add},
        {.name = u"Name", .id = 2, .get = &Counter::GetName, .put = &Counter::PutName},
        {.name = u"Fire", .id = 3, .argCount = 1, .method = &Counter::Fire},
        {.name = u"Concat", .id = 4, .argCount = 3, .method = &Counter::Concat},
        {.name = u"Fail", .id = 5, .method = &Counter::Fail},
        {.name = u"LiveObjects", .id = 6, .get = &Counter::LiveObjects},
    }};
    return table;
  }

  HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) override {
    if (points) *points = nullptr;
    return E_NOTIMPL;
  }
  HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) override {
    ConnectionPoint* const points[] = {&events_};
    return FindConnectionPointIn(points, iid, point);
  }

 private:
  HRESULT Add(DispatchCall& call) {
    int32_t a = 0;
    int32_t b = 0;
    if (const HRESULT hr = call.ArgInt(0, a); FAILED(hr)) return hr;
    if (const HRESULT hr = call.ArgInt(1, b); FAILED(hr)) return hr;
    return call.ReturnInt(a + b);
  }
  HRESULT GetName(DispatchCall& call) { return call.ReturnString(name_); }
  HRESULT PutName(DispatchCall& call) { return call.PutString(name_); }
  HRESULT Fire(DispatchCall& call) {
    std::u16string text;
    if (const HRESULT hr = call.ArgString(0, text); FAILED(hr)) return hr;
    ++fired_;
    return events_.FireDispatch(kOnFiredId, {Variant(text), Variant(fired_)});
  }
  HRESULT Concat(DispatchCall& call) {
    std::u16string joined;
    for (UINT i = 0; i < call.ArgCount(); ++i) {
      std::u16string part;
      if (const HRESULT hr = call.ArgString(i, part); FAILED(hr)) return hr;
      joined += part;
    }
    return call.ReturnString(joined);
  }
  HRESULT Fail(DispatchCall&) { throw std::runtime_error("counter failure"); }
  HRESULT LiveObjects(DispatchCall& call) { return call.ReturnInt(static_cast<int32_t>(ModuleObjectCount().load())); }

  ConnectionPoint events_;
  std::u16string name_ = u"counter";
  int32_t fired_ = 0;
};

const ServerClass kClasses[] = {ServedClass<Counter>(kCounterClsid)};

ServerRegistration CounterRegistration() {
  ServerRegistration registration;
  registration.clsid = kCounterClsid;
  registration.description = u"TestCounter Class";
  registration.modulePath = ModulePathOf(reinterpret_cast<const void*>(&DllRegisterServer));
  registration.progId = kProgId;
  registration.versionIndependentProgId = kVersionIndependentProgId;
  registration.programmable = true;
  return registration;
}

}  // namespace
}  // namespace sealrun::platform::com::testserver

using namespace sealrun::platform::com;

HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  return GetServerClassObject(testserver::kClasses, clsid, iid, object);
}

HRESULT DllCanUnloadNow() { return ModuleCanUnloadNow(); }

HRESULT DllRegisterServer() {
  return Guard("DllRegisterServer",
               [] { return RegisterServer(testserver::CounterRegistration(), RegistrationScope::Machine); });
}

HRESULT DllUnregisterServer() {
  return Guard("DllUnregisterServer",
               [] { return UnregisterServer(testserver::CounterRegistration(), RegistrationScope::Machine); });
}

HRESULT DllInstall(BOOL install, LPCOLESTR commandLine) {
  return Guard("DllInstall", [&] {
    const RegistrationScope scope = ScopeFromInstallCommandLine(commandLine);
    const auto registration = testserver::CounterRegistration();
    if (!install) return UnregisterServer(registration, scope);
    const HRESULT hr = RegisterServer(registration, scope);
    if (FAILED(hr)) UnregisterServer(registration, scope);
    return hr;
  });
}
