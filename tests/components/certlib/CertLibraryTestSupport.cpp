#include "tests/components/certlib/CertLibraryTestSupport.h"

#include <dlfcn.h>
#include <openssl/evp.h>

#include "components/certlib/CertLibraryIds.h"
#include "platform/com/ComRuntime.h"
#include "platform/com/InvokeByName.h"
#include "platform/com/ServerModule.h"
#include "platform/fs/Paths.h"
#include "platform/text/Utf.h"

namespace sealrun::components::certlib::testing {

using com::Variant;
using sealrun::testing::TestCertificateOptions;

const TestPki& Pki() {
  static const TestPki pki = [] {
    TestPki made;
    TestCertificateOptions rootOptions;
    rootOptions.commonName = "ZQ Test Root";
    rootOptions.organization = "Sealrun";
    rootOptions.isCa = true;
    rootOptions.serial = 1;
    made.root = sealrun::testing::MakeSelfSignedForTesting(rootOptions);
    TestCertificateOptions signerOptions;
    signerOptions.commonName = "张三";
    signerOptions.email = "zhangsan@example.cn";
    signerOptions.serial = kSignerSerial;
    signerOptions.password = kPin;
    made.signer = sealrun::testing::MakeIssuedForTesting(made.root, signerOptions);
    made.emptyList = sealrun::testing::MakeRevocationListForTesting(made.root, {});
    return made;
  }();
  return pki;
}

CertLibraryTest::CertLibraryTest()
    : keyDir_(temp_.Path() / "key"),
      moduleDir_(temp_.Path() / "addin"),
      registry_("SEALRUN_REGISTRY", (temp_.Path() / "registry").string()),
      key_("SEALRUN_KEY", keyDir_.string()),
      config_("XDG_CONFIG_HOME", (temp_.Path() / "config").string()) {
  std::filesystem::create_directories(moduleDir_);
  const TestPki& pki = Pki();
  sealrun::testing::WriteFileBytes(moduleDir_ / "ZQ_Root.cer",
                                   std::string(pki.root.certificateDer.begin(), pki.root.certificateDer.end()));
  sealrun::testing::WriteFileBytes(moduleDir_ / "ZQ_Crl.crl", std::string(pki.emptyList.begin(), pki.emptyList.end()));

  EXPECT_EQ(com::CoInitializeEx(nullptr, com::COINIT_APARTMENTTHREADED), com::S_OK);
  // Registered the way an installer does: through the module's own entry point.
  void* module = dlopen(SEALRUN_CERTLIB_MODULE, RTLD_NOW | RTLD_LOCAL);
  EXPECT_NE(module, nullptr) << dlerror();
  if (module != nullptr) {
    const auto registerServer =
        reinterpret_cast<com::DllRegisterServerFunction>(dlsym(module, "DllRegisterServer"));
    EXPECT_NE(registerServer, nullptr);
    if (registerServer != nullptr) {
      EXPECT_EQ(registerServer(), com::S_OK);
    }
    dlclose(module);
  }
}

CertLibraryTest::~CertLibraryTest() { com::CoUninitialize(); }

void CertLibraryTest::WriteKey(const sealrun::testing::TestIdentity& signer, const std::string& provider,
                               const std::string& signerElement) {
  std::filesystem::create_directories(keyDir_);
  const std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SealKey version=\"1\">\n  <Serial>" +
                          std::string(kKeySerial) + "</Serial>\n  <Provider>" + provider + "</Provider>\n  " +
                          signerElement + "\n</SealKey>\n";
  sealrun::testing::WriteFileBytes(keyDir_ / "key.xml", xml);
  sealrun::testing::WriteFileBytes(keyDir_ / "signer.pem", signer.certificatePem);
  sealrun::testing::WriteFileBytes(keyDir_ / "signer.p12", std::string(signer.pkcs12.begin(), signer.pkcs12.end()));
}

void CertLibraryTest::RemoveKey() { std::filesystem::remove_all(keyDir_); }

std::u16string CertLibraryTest::RootPath() const { return platform::fs::PathToUtf16(moduleDir_ / "ZQ_Root.cer"); }
std::u16string CertLibraryTest::ListPath() const { return platform::fs::PathToUtf16(moduleDir_ / "ZQ_Crl.crl"); }

com::ComPtr<com::IDispatch> CertLibraryTest::Create() {
  com::ComPtr<com::IUnknown> unknown;
  EXPECT_EQ(com::CoCreateInstance(kCertLibraryClsid, nullptr, 0x17, com::IID_IUnknown, unknown.OutVoid()), com::S_OK);
  com::ComPtr<com::IDispatch> library;
  if (unknown) {
    EXPECT_EQ(unknown.As(library), com::S_OK);
  }
  return library;
}

com::Variant CertLibraryTest::Call(com::IDispatch* library, std::u16string_view name, com::WORD flags,
                                  std::initializer_list<com::Variant> args) {
  Variant result;
  EXPECT_EQ(com::InvokeByName(library, name, flags, args, result.Out()), com::S_OK) << Utf8(name);
  return result;
}

std::int32_t CertLibraryTest::VerifyCertValidity2(com::IDispatch* library, std::u16string_view certificate,
                                                  std::u16string_view rootPath, std::u16string_view listPath,
                                                  std::int32_t mode) {
  const Variant result = Call(library, u"VerifyCertValidity2", com::DISPATCH_METHOD,
                              {Variant(certificate), Variant(rootPath), Variant(listPath), Variant(mode)});
  EXPECT_EQ(result.Type(), com::VT_I4);
  return result.AsInt().value_or(-100);
}

void CertLibraryTest::SetParams(com::IDispatch* library, std::u16string_view keySerial,
                                std::u16string_view sealSerial) {
  Call(library, u"SetParams", com::DISPATCH_METHOD,
       {Variant(keySerial), Variant(sealSerial), Variant(), Variant(), Variant(), Variant(), Variant(), Variant(),
        Variant(), Variant(), Variant(), Variant(0)});
}

std::int16_t Low16(const com::Variant& result) {
  return static_cast<std::int16_t>(result.AsInt().value_or(0) & 0xFFFF);
}

std::u16string Text(const com::Variant& result) {
  return result.Type() == com::VT_BSTR ? result.AsString().value_or(u"") : u"<not text>";
}

std::string Utf8(std::u16string_view text) { return platform::text::Utf16ToUtf8(text); }

std::vector<std::uint8_t> DecodeBase64(std::u16string_view text) {
  const std::string ascii = Utf8(text);
  if (ascii.empty() || ascii.size() % 4 != 0) return {};
  std::vector<std::uint8_t> bytes(ascii.size() / 4 * 3);
  const int written = EVP_DecodeBlock(bytes.data(), reinterpret_cast<const unsigned char*>(ascii.data()),
                                      static_cast<int>(ascii.size()));
  if (written < 0) return {};
  std::size_t padding = 0;
  for (auto it = ascii.rbegin(); it != ascii.rend() && *it == '='; ++it) ++padding;
  bytes.resize(static_cast<std::size_t>(written) - padding);
  return bytes;
}

}  // namespace sealrun::components::certlib::testing
