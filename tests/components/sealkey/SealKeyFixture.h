#pragma once
// A fixture that inserts a copy of the demo key (data/demo-key) in a temporary folder, points the
// registry and the user's configuration folder at temporary ones, registers the seal key module per
// user through its DllInstall and creates KeyObject instances the way the system does: by class id with
// class context 0x17, asking for IUnknown, then IDispatch; members are called by name.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <string>

#include "components/sealkey/KeyObjectIds.h"
#include "platform/com/ComRuntime.h"
#include "platform/com/InvokeByName.h"
#include "platform/com/ServerModule.h"
#include "platform/crypto/KeyStore.h"
#include "tests/testsupport/TempDir.h"

namespace sealrun::components::sealkey::testing {

using namespace platform::com;

inline constexpr char kModulePath[] = SEALRUN_SEALKEY_MODULE;
inline const std::filesystem::path kDemoKey = SEALRUN_DEMO_KEY;
inline constexpr char16_t kDemoPin[] = u"123456";
inline constexpr char16_t kDemoSerial[] = u"ZQ-DEMO-0001";

// The demo key's files, without the script and the drawing program that make them.
inline void CopyDemoKey(const std::filesystem::path& target) {
  namespace fs = std::filesystem;
  fs::create_directories(target / "seals");
  for (const char* file : {"key.xml", "signer.pem", "signer.p12", "ZQ_Root.cer", "ZQ_Crl.crl"})
    fs::copy_file(kDemoKey / file, target / file);
  for (const auto& picture : fs::directory_iterator(kDemoKey / "seals"))
    fs::copy_file(picture.path(), target / "seals" / picture.path().filename());
}

inline std::u16string Text(const Variant& value) {
  const VARIANT& v = *value.Get();
  if (v.vt != VT_BSTR) return u"<not a BSTR>";
  return std::u16string(v.bstrVal ? v.bstrVal : u"", SysStringLen(v.bstrVal));
}

// Calls a member by name, expecting the call to go through.
inline Variant Call(const ComPtr<IDispatch>& object, std::u16string_view name, WORD flags,
                    std::initializer_list<Variant> args = {}) {
  Variant result;
  const HRESULT hr = InvokeByName(object.Get(), name, flags, args, result.Out());
  EXPECT_EQ(hr, S_OK) << "calling " << std::string(name.begin(), name.end());
  return result;
}
inline Variant Method(const ComPtr<IDispatch>& object, std::u16string_view name,
                      std::initializer_list<Variant> args = {}) {
  return Call(object, name, DISPATCH_METHOD, args);
}
inline Variant Get(const ComPtr<IDispatch>& object, std::u16string_view name,
                   std::initializer_list<Variant> args = {}) {
  return Call(object, name, DISPATCH_PROPERTYGET, args);
}


class SealKeyTest : public ::testing::Test {
 protected:
  SealKeyTest()
      : keyDir_(temp_.Path() / "key"),
        configDir_(temp_.Path() / "config"),
        registry_("SEALRUN_REGISTRY", (temp_.Path() / "registry").string()),
        config_("XDG_CONFIG_HOME", configDir_.string()),
        key_("SEALRUN_KEY", keyDir_.string()) {}

  void SetUp() override {
    CopyDemoKey(keyDir_);
    platform::crypto::KeyStore::Instance().Clear();
    module_ = dlopen(kModulePath, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module_, nullptr) << dlerror();
    const auto install = reinterpret_cast<DllInstallFunction>(dlsym(module_, "DllInstall"));
    ASSERT_NE(install, nullptr);
    ASSERT_EQ(install(1, u"user"), S_OK);
  }
  void TearDown() override {
    platform::crypto::KeyStore::Instance().Clear();
    if (module_ != nullptr) dlclose(module_);
  }

  // A fresh instance, as every operation of the system makes one.
  ComPtr<IDispatch> CreateKey() {
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(CoCreateInstance(kKeyObjectClsid, nullptr, 0x17, IID_IUnknown, unknown.OutVoid()), S_OK);
    ComPtr<IDispatch> key;
    if (unknown) {
      EXPECT_EQ(unknown.As(key), S_OK);
    }
    return key;
  }

  const std::filesystem::path& KeyDir() const { return keyDir_; }
  std::filesystem::path RememberedPinFile() const { return configDir_ / "sealrun" / "remembered-pin"; }
  const sealrun::testing::TempDir& Temp() const { return temp_; }

 private:
  sealrun::testing::TempDir temp_;
  std::filesystem::path keyDir_;
  std::filesystem::path configDir_;
  sealrun::testing::ScopedEnv registry_;
  sealrun::testing::ScopedEnv config_;
  sealrun::testing::ScopedEnv key_;
  void* module_ = nullptr;
};

}  // namespace sealrun::components::sealkey::testing
