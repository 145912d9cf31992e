#pragma once
// Fixtures of the COM tests: a temporary registry, and small in-process objects whose reference counts
// and received calls the tests can read.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/com/ConnectionPoint.h"
#include "platform/com/Dispatch.h"
#include "tests/testsupport/TempDir.h"

namespace sealrun::platform::com::testing {

// Every test runs against its own empty registry folder.
class TempRegistryTest : public ::testing::Test {
 protected:
  TempRegistryTest() : registryDir_(temp_.Path() / "registry"), env_("SEALRUN_REGISTRY", registryDir_.string()) {}

  const std::filesystem::path& RegistryDir() const { return registryDir_; }
  std::filesystem::path UserHiveFile() const { return registryDir_ / "HKEY_CURRENT_USER.reg"; }
  std::filesystem::path MachineHiveFile() const { return registryDir_ / "HKEY_LOCAL_MACHINE.reg"; }
  const sealrun::testing::TempDir& Temp() const { return temp_; }

 private:
  sealrun::testing::TempDir temp_;
  std::filesystem::path registryDir_;
  sealrun::testing::ScopedEnv env_;
};

// An automation object of this process: "Echo"(value) returns its argument; "Text" is a property.
class Echo final : public DispatchObject<Echo, IDispatch> {
 public:
  static const DispatchTable<Echo>& DispatchMembers() {
    static const DispatchTable<Echo> table{{
        {.name = u"Echo", .id = 1, .argCount = 1, .method = &Echo::EchoArg},
        {.name = u"Text", .id = 2, .get = &Echo::GetText, .put = &Echo::PutText},
        {.name = u"Pair", .id = 3, .argCount = 2, .method = &Echo::Pair},
    }};
    return table;
  }
  // The reference count as the object sees it (AddRef then Release).
  ULONG References() {
    AddRef();
    return Release();
  }
  std::u16string text;

 private:
  HRESULT EchoArg(DispatchCall& call) { return call.ReturnVariant(call.Arg(0)); }
  HRESULT GetText(DispatchCall& call) { return call.ReturnString(text); }
  HRESULT PutText(DispatchCall& call) { return call.PutString(text); }
  HRESULT Pair(DispatchCall& call) {
    int32_t first = 0;
    std::u16string second;
    if (const HRESULT hr = call.ArgInt(0, first); FAILED(hr)) return hr;
    if (const HRESULT hr = call.ArgString(1, second); FAILED(hr)) return hr;
    return call.ReturnString(std::u16string(1, static_cast<char16_t>(u'0' + first)) + second);
  }
};

// An event sink for the interface `eventIid`, dispatching "OnFired"(text, count) with dispatch id `firedId`.
class RecordingSink final : public ComObject<RecordingSink, IDispatch> {
 public:
  RecordingSink(const IID& eventIid, DISPID firedId) : eventIid_(eventIid), firedId_(firedId) {}

  HRESULT GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return DISP_E_BADINDEX; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
  HRESULT Invoke(DISPID member, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                 UINT*) override {
    if (!(iid == IID_NULL) || params == nullptr) return E_INVALIDARG;
    if (member != firedId_ || flags != DISPATCH_METHOD) return DISP_E_MEMBERNOTFOUND;
    if (params->cArgs != 2) return DISP_E_BADPARAMCOUNT;
    // Reverse order: the first argument is the last element.
    const VARIANT& text = params->rgvarg[1];
    const VARIANT& count = params->rgvarg[0];
    if (text.vt != VT_BSTR || count.vt != VT_I4) return DISP_E_TYPEMISMATCH;
    received.emplace_back(std::u16string(text.bstrVal, SysStringLen(text.bstrVal)), count.lVal);
    return S_OK;
  }

  std::vector<std::pair<std::u16string, int32_t>> received;

 protected:
  HRESULT QueryOtherInterface(REFIID iid, void** object) override {
    if (!(iid == eventIid_)) return E_NOINTERFACE;
    AddRef();
    *object = static_cast<IDispatch*>(this);
    return S_OK;
  }

 private:
  IID eventIid_;
  DISPID firedId_;
};

inline std::u16string TextOf(const VARIANT& value) {
  return value.vt == VT_BSTR ? std::u16string(value.bstrVal ? value.bstrVal : u"", SysStringLen(value.bstrVal))
                             : std::u16string(u"<not a BSTR>");
}

}  // namespace sealrun::platform::com::testing
