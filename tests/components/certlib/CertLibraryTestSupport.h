#pragma once
// Fixtures of the certificate library tests: a temporary registry with the module registered through its
// own entry point, a temporary seal key folder made from test certificates, the validation files, and
// the by-name calls the system makes.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/com/Interfaces.h"
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

  // The calls the system makes, with its argument types.
  static void PutCspName(com::IDispatch* library, std::u16string_view name);
  static std::int16_t GetContainer(com::IDispatch* library);
  static std::u16string CertContext(com::IDispatch* library);
  static std::int32_t VerifyCertValidity2(com::IDispatch* library, std::u16string_view certificate,
                                          std::u16string_view rootPath, std::u16string_view listPath,
                                          std::int32_t mode = 1);
  static void SetParams(com::IDispatch* library, std::u16string_view keySerial, std::u16string_view sealSerial);
  static void PutCardPin(com::IDispatch* library, std::u16string_view pin);
  static void GetCertificate(com::IDispatch* library, std::u16string_view certificate);
  static std::int16_t CrySignMessage(com::IDispatch* library, std::u16string_view data, std::int32_t length);
  static std::u16string SignMessage(com::IDispatch* library);

 private:
  sealrun::testing::TempDir temp_;
  std::filesystem::path keyDir_;
  std::filesystem::path moduleDir_;
  sealrun::testing::ScopedEnv registry_;
  sealrun::testing::ScopedEnv key_;
  sealrun::testing::ScopedEnv config_;
};

std::string Utf8(std::u16string_view text);
std::vector<std::uint8_t> DecodeBase64(std::u16string_view text);

}  // namespace sealrun::components::certlib::testing
