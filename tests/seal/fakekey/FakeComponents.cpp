// A stand-in for the seal key installation's components, registered under the KeyObject and certificate
// library class ids. What it answers is read from "config.txt" in the folder named by SEALRUN_FAKEKEY_DIR
// (read when an instance is created); every call it receives is appended to "calls.log" there, one line
// per call: "Class.Member kind TYPE:value ...", arguments in the caller's order. A name looked up but
// refused is logged as "Class.?Member"; a lookup or call with another IID than the null one or another
// locale than 0x400 is marked in the log.
//
// config.txt, one "key=value" a line:
//   unknown=A,B        members whose names do not resolve
//   fail=A,B           members whose calls fail (DISP_E_EXCEPTION, result untouched)
//   nocreate=KeyObject|CertLibrary   the class cannot be created
//   pin=...            the PIN the key accepts (default 123456)
//   verifypin=N        what VerifyPin answers for any PIN
//   serial=...         key serial number
//   signcount=N        what SignCount answers (default: the number of seal lines)
//   seal=name|unit|user|serial|ext|hex of the picture bytes     (one line per seal, in key order)
//   noheader=0,3       seal indices whose HeadInformations fails
//   certfile=path      the text CertContext answers (a PEM file, or any text)
//   provider=NAME      GetContainer opens a container only while CSPName equals NAME
//   validity=N         what VerifyCertValidity2 answers (default 0)
//   signed=0|1         what CrySignMessage answers (default 1); the message is "SIGNED(" data ")"
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/com/Registration.h"
#include "platform/com/ServerModule.h"
#include "platform/text/Utf.h"
#include "seal/ComponentIds.h"

namespace sealrun::seal::fakekey {
namespace {

using namespace platform::com;
using platform::text::Utf16ToUtf8;
using platform::text::Utf8ToUtf16;

std::filesystem::path Folder() {
  const char* dir = std::getenv("SEALRUN_FAKEKEY_DIR");
  return dir ? std::filesystem::path(dir) : std::filesystem::path();
}

struct FakeSeal {
  std::u16string name, unit, user, serial, ext, pictureHex;
};

struct Config {
  std::multimap<std::string, std::string> values;

  static Config Read() {
    Config config;
    std::ifstream in(Folder() / "config.txt");
    std::string line;
    while (std::getline(in, line)) {
      const auto equals = line.find('=');
      if (equals != std::string::npos) config.values.emplace(line.substr(0, equals), line.substr(equals + 1));
    }
    return config;
  }
  std::string Value(const std::string& key, const std::string& fallback = {}) const {
    const auto it = values.find(key);
    return it == values.end() ? fallback : it->second;
  }
  bool Has(const std::string& key) const { return values.count(key) != 0; }
  bool InList(const std::string& key, const std::string& item) const {
    std::stringstream list(Value(key));
    std::string entry;
    while (std::getline(list, entry, ','))
      if (entry == item) return true;
    return false;
  }
  std::vector<FakeSeal> Seals() const {
    std::vector<FakeSeal> seals;
    const auto [first, last] = values.equal_range("seal");
    for (auto it = first; it != last; ++it) {
      std::vector<std::u16string> parts;
      std::stringstream fields(it->second);
      std::string field;
      while (std::getline(fields, field, '|')) parts.push_back(Utf8ToUtf16(field));
      parts.resize(6);
      seals.push_back({parts[0], parts[1], parts[2], parts[3], parts[4], parts[5]});
    }
    return seals;
  }
};

std::string Escape(std::string text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else out += c;
  }
  return out;
}

std::string Describe(const VARIANT& value) {
  switch (value.vt) {
    case VT_EMPTY: return "EMPTY";
    case VT_I2: return "I2:" + std::to_string(value.iVal);
    case VT_I4: return "I4:" + std::to_string(value.lVal);
    case VT_BOOL: return std::string("BOOL:") + (value.boolVal ? "true" : "false");
    case VT_BSTR:
      return "BSTR:" + Escape(Utf16ToUtf8(std::u16string_view(value.bstrVal ? value.bstrVal : u"",
                                                                    SysStringLen(value.bstrVal))));
    case VT_DISPATCH: return "DISPATCH";
    default: return "VT" + std::to_string(value.vt);
  }
}

void Log(const std::string& line) {
  std::ofstream out(Folder() / "calls.log", std::ios::app);
  out << line << '\n';
}

std::u16string Text(const VARIANT& value) {
  if (value.vt == VT_BSTR) return std::u16string(value.bstrVal ? value.bstrVal : u"", SysStringLen(value.bstrVal));
  Variant converted;
  if (FAILED(VariantChangeType(converted.Get(), &value, 0, VT_BSTR))) return {};
  return std::u16string(converted.Get()->bstrVal, SysStringLen(converted.Get()->bstrVal));
}

HRESULT SetInt(VARIANT* result, int32_t value) {
  VariantClear(result);
  result->vt = VT_I4;
  result->lVal = value;
  return S_OK;
}
HRESULT SetShort(VARIANT* result, int16_t value) {
  VariantClear(result);
  result->vt = VT_I2;
  result->iVal = value;
  return S_OK;
}
HRESULT SetText(VARIANT* result, std::u16string_view text) {
  VariantClear(result);
  result->vt = VT_BSTR;
  result->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return S_OK;
}

// The member lookup, logging and configured failures shared by the three classes; each class answers its
// members in Handle with the arguments in the caller's order.
template <typename Derived>
class FakeDispatch : public ComObject<Derived, IDispatch> {
 public:
  HRESULT GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    *info = nullptr;
    return DISP_E_BADINDEX;
  }
  HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override {
    if (count != 1) return DISP_E_UNKNOWNNAME;
    // The system looks names up with the null IID and the system default locale; anything else shows.
    if (!(iid == IID_NULL) || locale != 0x400) Log("unexpected lookup locale or IID");
    const std::u16string name(names[0]);
    const auto& members = Derived::Members();
    const auto it = std::find(members.begin(), members.end(), name);
    if (it == members.end() || config_.InList("unknown", Utf16ToUtf8(name))) {
      Log(std::string(Derived::kClassName) + ".?" + Utf16ToUtf8(name));
      ids[0] = DISPID_UNKNOWN;
      return DISP_E_UNKNOWNNAME;
    }
    ids[0] = static_cast<DISPID>(it - members.begin()) + 1;
    return S_OK;
  }
  HRESULT Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                 UINT*) override {
    const auto& members = Derived::Members();
    if (id < 1 || static_cast<size_t>(id) > members.size()) return DISP_E_MEMBERNOTFOUND;
    const std::u16string& name = members[static_cast<size_t>(id) - 1];
    std::vector<const VARIANT*> args;
    for (UINT i = params->cArgs; i > 0; --i) args.push_back(&params->rgvarg[i - 1]);
    const char* kind = flags & DISPATCH_PROPERTYPUT ? "put" : flags & DISPATCH_PROPERTYGET ? "get" : "method";
    std::string line = std::string(Derived::kClassName) + "." + Utf16ToUtf8(name) + " " + kind;
    if (!(iid == IID_NULL) || locale != 0x400) line += " UNEXPECTED-LOCALE-OR-IID";
    for (const VARIANT* arg : args) line += " " + Describe(*arg);
    Log(line);
    if (config_.InList("fail", Utf16ToUtf8(name))) return DISP_E_EXCEPTION;
    Variant scratch;
    try {
      return static_cast<Derived*>(this)->Handle(name, args, result ? result : scratch.Get());
    } catch (...) {
      return E_FAIL;  // a malformed config.txt, never an exception out of the module
    }
  }

 protected:
  HRESULT FinalConstruct() override {
    return config_.InList("nocreate", Derived::kClassName) ? E_FAIL : S_OK;
  }
  Config config_ = Config::Read();
};

class FakeHeader final : public FakeDispatch<FakeHeader> {
 public:
  static constexpr char kClassName[] = "Header";
  static const std::vector<std::u16string>& Members() {
    static const std::vector<std::u16string> members{u"SignName", u"SerialNumber", u"UserName",
                                                     u"UnitName", u"SignExt",      u"ImgValue"};
    return members;
  }
  explicit FakeHeader(FakeSeal seal) : seal_(std::move(seal)) {}

  HRESULT Handle(const std::u16string& name, const std::vector<const VARIANT*>&, VARIANT* result) {
    if (name == u"SignName") return SetText(result, seal_.name);
    if (name == u"SerialNumber") return SetText(result, seal_.serial);
    if (name == u"UserName") return SetText(result, seal_.user);
    if (name == u"UnitName") return SetText(result, seal_.unit);
    if (name == u"SignExt") return SetText(result, seal_.ext);
    return SetText(result, seal_.pictureHex);
  }

 private:
  FakeSeal seal_;
};

class FakeKeyObject final : public FakeDispatch<FakeKeyObject> {
 public:
  static constexpr char kClassName[] = "KeyObject";
  static const std::vector<std::u16string>& Members() {
    static const std::vector<std::u16string> members{
        u"WebCreateKeyObject", u"WebOpenKeyObject",      u"WebGetKeySerialNumber", u"WebLoadSignatureEx",
        u"SignCount",          u"HeadInformations",      u"DeCodeImgData",         u"WebDeleteKeyObject",
        u"VerifyPin",          u"WebWritePin",           u"WebAddGlobalPinTag",    u"WebDelGlobalPinTag",
        u"WebExistsGlobalPinTag", u"WebReadPin"};
    return members;
  }

  HRESULT Handle(const std::u16string& name, const std::vector<const VARIANT*>& args, VARIANT* result) {
    const auto seals = config_.Seals();
    const std::u16string pin = Utf8ToUtf16(config_.Value("pin", "123456"));
    const auto remembered = Folder() / "remembered-pin";
    if (name == u"WebGetKeySerialNumber") return SetText(result, Utf8ToUtf16(config_.Value("serial", "FAKE-0001")));
    if (name == u"SignCount")
      return SetInt(result, config_.Has("signcount") ? std::stoi(config_.Value("signcount"))
                                                     : static_cast<int32_t>(seals.size()));
    if (name == u"HeadInformations") {
      const int32_t index = args.empty() ? -1 : args[0]->lVal;
      if (index < 0 || static_cast<size_t>(index) >= seals.size() ||
          config_.InList("noheader", std::to_string(index)))
        return DISP_E_BADINDEX;
      ComPtr<FakeHeader> header;
      if (const HRESULT hr = FakeHeader::Create(header, seals[static_cast<size_t>(index)]); FAILED(hr)) return hr;
      VariantClear(result);
      result->vt = VT_DISPATCH;
      result->pdispVal = header.Detach();
      return S_OK;
    }
    if (name == u"DeCodeImgData") {
      const std::string hex = Utf16ToUtf8(Text(*args.at(0)));
      std::string bytes;
      for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
      VariantClear(result);
      result->vt = VT_BSTR;
      result->bstrVal = SysAllocStringLen(nullptr, static_cast<UINT>(bytes.size()));
      if (!bytes.empty()) std::memcpy(result->bstrVal, bytes.data(), bytes.size());
      return S_OK;
    }
    if (name == u"VerifyPin") {
      if (config_.Has("verifypin")) return SetInt(result, std::stoi(config_.Value("verifypin")));
      return SetInt(result, Text(*args.at(0)) == pin ? 0 : 3);
    }
    if (name == u"WebWritePin") {
      if (Text(*args.at(0)) != pin) return DISP_E_EXCEPTION;
      pending_ = Text(*args.at(0));
      return SetInt(result, 0);
    }
    if (name == u"WebAddGlobalPinTag") {
      std::ofstream(remembered, std::ios::trunc) << Utf16ToUtf8(pending_);
      return SetInt(result, 0);
    }
    if (name == u"WebDelGlobalPinTag") {
      std::error_code ignored;
      std::filesystem::remove(remembered, ignored);
      return SetInt(result, 0);
    }
    if (name == u"WebExistsGlobalPinTag") return SetShort(result, std::filesystem::exists(remembered) ? 1 : 0);
    if (name == u"WebReadPin") {
      std::ifstream in(remembered);
      std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      return SetText(result, Utf8ToUtf16(text));
    }
    return SetInt(result, 0);
  }

 private:
  std::u16string pending_;
};

class FakeCertLibrary final : public FakeDispatch<FakeCertLibrary> {
 public:
  static constexpr char kClassName[] = "CertLibrary";
  static const std::vector<std::u16string>& Members() {
    static const std::vector<std::u16string> members{
        u"CSPName",        u"GetContainer",   u"CertContext", u"VerifyCertValidity2", u"SetParams",
        u"CardPin",        u"GetCertificate", u"CrySignMessage", u"SignMessage"};
    return members;
  }

  HRESULT Handle(const std::u16string& name, const std::vector<const VARIANT*>& args, VARIANT* result) {
    if (name == u"CSPName") {
      provider_ = Text(*args.at(0));
      return S_OK;
    }
    if (name == u"GetContainer") {
      opened_ = !config_.Has("provider") || Utf8ToUtf16(config_.Value("provider")) == provider_;
      return SetShort(result, opened_ ? 1 : 0);
    }
    if (name == u"CertContext") {
      std::ifstream in(config_.Value("certfile"));
      std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      return SetText(result, opened_ ? Utf8ToUtf16(text) : std::u16string());
    }
    if (name == u"VerifyCertValidity2") return SetInt(result, std::stoi(config_.Value("validity", "0")));
    if (name == u"CrySignMessage") {
      const bool sign = config_.Value("signed", "1") == "1";
      message_ = sign ? u"SIGNED(" + Text(*args.at(0)) + u")" : u"";
      return SetShort(result, sign ? 1 : 0);
    }
    if (name == u"SignMessage") return SetText(result, message_);
    return SetInt(result, 0);
  }

 private:
  std::u16string provider_;
  std::u16string message_;
  bool opened_ = false;
};

const ServerClass kClasses[] = {ServedClass<FakeKeyObject>(kKeyObjectClsid),
                                ServedClass<FakeCertLibrary>(kCertLibraryClsid)};

ServerRegistration Registration(const CLSID& clsid, std::u16string description) {
  ServerRegistration registration;
  registration.clsid = clsid;
  registration.description = std::move(description);
  registration.modulePath = ModulePathOf(reinterpret_cast<const void*>(&DllRegisterServer));
  return registration;
}

HRESULT RegisterBoth(bool install) {
  const ServerRegistration both[] = {Registration(kKeyObjectClsid, u"Fake KeyObject"),
                                     Registration(kCertLibraryClsid, u"Fake certificate library")};
  for (const auto& registration : both) {
    const HRESULT hr = install ? RegisterServer(registration, RegistrationScope::Machine)
                               : UnregisterServer(registration, RegistrationScope::Machine);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

}  // namespace
}  // namespace sealrun::seal::fakekey

using namespace sealrun::platform::com;

HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  return GetServerClassObject(sealrun::seal::fakekey::kClasses, clsid, iid, object);
}
HRESULT DllCanUnloadNow() { return ModuleCanUnloadNow(); }
HRESULT DllRegisterServer() {
  return Guard("DllRegisterServer", [] { return sealrun::seal::fakekey::RegisterBoth(true); });
}
HRESULT DllUnregisterServer() {
  return Guard("DllUnregisterServer", [] { return sealrun::seal::fakekey::RegisterBoth(false); });
}
HRESULT DllInstall(BOOL install, LPCOLESTR) {
  return Guard("DllInstall", [&] { return sealrun::seal::fakekey::RegisterBoth(install != 0); });
}
