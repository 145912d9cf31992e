#pragma once
// Fixtures of the certificate library tests: a temporary registry with the module registered through its
// own entry point, a temporary seal key folder made from test certificates, the validation files, and
// the by-name calls the system makes.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/com/Interfaces.h"
#include "platform/com/Variant.h"
#include "tests/testsupport/TempDir.h"
#include "tests/testsupport/TestCertificates.h"

namespace sealrun::components::certlib::testing {

namespace com = platform::com;

inline constexpr char kPin[] = "246810";
inline constexpr char kKeySerial[] = "ZQ-TEST-0001";
inline constexpr char kProvider[] = "Sealrun Soft Key CSP";
inline constexpr std::uint64_t kSignerSerial = 0x2001;

// Test certificates, made once per program (key generation is slow).
struct TestPki {
  sealrun::testing::TestIdentity root;    // "ZQ Test Root", a CA
  sealrun::testing::TestIdentity signer;  // issued by root, PKCS#12 password kPin
  std::vector<std::uint8_t> emptyList;    // root's list, nobody revoked
};
const TestPki& Pki();

std::string Utf8(std::u16string_view text);
std::int16_t Low16(const com::Variant& result);
// A BSTR result as text ("<not text>" for any other type).
std::u16string Text(const com::Variant& result);
std::vector<std::uint8_t> DecodeBase64(std::u16string_view text);

class CertLibraryTest : public ::testing::Test {
 protected:
  CertLibraryTest();
  ~CertLibraryTest() override;

  // key.xml (with the given provider and Signer element) plus signer.pem and signer.p12 of `signer`.
  void WriteKey(const sealrun::testing::TestIdentity& signer, const std::string& provider = kProvider,
                const std::string& signerElement = R"(<Signer certificate="signer.pem" pkcs12="signer.p12"/>)");
  void RemoveKey();

  const std::filesystem::path& KeyDir() const { return keyDir_; }
  const std::filesystem::path& ModuleDir() const { return moduleDir_; }
  std::u16string RootPath() const;
  std::u16string ListPath() const;

  // CoCreateInstance by class id with class context 0x17 asking for IUnknown, then IDispatch.
  com::ComPtr<com::IDispatch> Create();

  // The calls the system makes, with its argument types; 16-bit answers are read as the low 16 bits.
  static com::Variant Call(com::IDispatch* library, std::u16string_view name, com::WORD flags,
                           std::initializer_list<com::Variant> args = {});
  static void PutCspName(com::IDispatch* library, std::u16string_view name) {
    Call(library, u"CSPName", com::DISPATCH_PROPERTYPUT, {com::Variant(name)});
  }
  static std::int16_t GetContainer(com::IDispatch* library) {
    return Low16(Call(library, u"GetContainer", com::DISPATCH_METHOD));
  }
  static std::u16string CertContext(com::IDispatch* library) {
    return Text(Call(library, u"CertContext", com::DISPATCH_PROPERTYGET));
  }
  static std::int32_t VerifyCertValidity2(com::IDispatch* library, std::u16string_view certificate,
                                          std::u16string_view rootPath, std::u16string_view listPath,
                                          std::int32_t mode = 1);
  static void SetParams(com::IDispatch* library, std::u16string_view keySerial, std::u16string_view sealSerial);
  static void PutCardPin(com::IDispatch* library, std::u16string_view pin) {
    Call(library, u"CardPin", com::DISPATCH_PROPERTYPUT, {com::Variant(pin)});
  }
  static void GetCertificate(com::IDispatch* library, std::u16string_view certificate) {
    Call(library, u"GetCertificate", com::DISPATCH_METHOD, {com::Variant(certificate)});
  }
  static std::int16_t CrySignMessage(com::IDispatch* library, std::u16string_view data, std::int32_t length) {
    return Low16(Call(library, u"CrySignMessage", com::DISPATCH_METHOD, {com::Variant(data), com::Variant(length)}));
  }
  static std::u16string SignMessage(com::IDispatch* library) {
    return Text(Call(library, u"SignMessage", com::DISPATCH_PROPERTYGET));
  }

 private:
  sealrun::testing::TempDir temp_;
  std::filesystem::path keyDir_;
  std::filesystem::path moduleDir_;
  sealrun::testing::ScopedEnv registry_;
  sealrun::testing::ScopedEnv key_;
  sealrun::testing::ScopedEnv config_;
};



}  // namespace sealrun::components::certlib::testing
