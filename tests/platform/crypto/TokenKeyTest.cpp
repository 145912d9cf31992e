// Keys on a PKCS#11 token (SoftHSM2, made fresh for each test): the URI that names them, the PIN the token
// checks and counts, signatures made on the token, and a token pulled out while its key is in use.
#include "platform/crypto/TokenKey.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <memory>

#include "platform/crypto/Cms.h"
#include "platform/crypto/Pkcs1.h"
#include "tests/testsupport/SoftToken.h"
#include "tests/testsupport/TempDir.h"

namespace sealrun::platform::crypto {
namespace {

using sealrun::testing::SoftToken;

TEST(TokenUriTest, ReadsTheAttributesThatSelectTokenAndKey) {
  const auto uri = ParseTokenUri(
      "pkcs11:token=Sealrun%20Key;serial=0042;manufacturer=ACME;model=T1;object=seal%20signer;id=%5E%A1;"
      "type=private?module-path=/usr/lib/softhsm/libsofthsm2.so");
  ASSERT_TRUE(uri) << uri.GetError().message;
  EXPECT_EQ(uri->token, "Sealrun Key");
  EXPECT_EQ(uri->serial, "0042");
  EXPECT_EQ(uri->manufacturer, "ACME");
  EXPECT_EQ(uri->model, "T1");
  EXPECT_EQ(uri->object, "seal signer");
  EXPECT_EQ(uri->id, (Bytes{0x5E, 0xA1}));
  EXPECT_EQ(uri->modulePath, "/usr/lib/softhsm/libsofthsm2.so");
  // Without a module the system's proxy serves.
  const auto bare = ParseTokenUri("pkcs11:object=signer");
  ASSERT_TRUE(bare);
  EXPECT_TRUE(bare->modulePath.empty());
}

TEST(TokenUriTest, RefusesWhatCouldSelectAnotherKeyOrHoldsThePin) {
  for (const char* bad : {
           "pkcs12:token=x",                               // another scheme
           "pkcs11:token=a;token=b",                       // said twice
           "pkcs11:token=a;slot-id=3",                     // not understood
           "pkcs11:object=x;type=secret-key",              // not a seal key's object
           "pkcs11:object=x?pin-value=123456",             // the PIN in a file
           "pkcs11:object=x?pin-source=file:/tmp/pin",     //
           "pkcs11:object=x?module-path=libsofthsm2.so",   // a module found who knows where
           "pkcs11:object=%4",                             // a broken escape
           "pkcs11:object=%zz",                            //
           "pkcs11:object",                                // no value
       }) {
    EXPECT_FALSE(ParseTokenUri(bad)) << bad;
  }
}

class TokenKeyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    token_ = SoftToken::Create(why);
    ASSERT_TRUE(token_) << why;
  }

  static TokenUri Uri(const std::string& text = SoftToken::KeyUri()) {
    auto uri = ParseTokenUri(text);
    EXPECT_TRUE(uri) << text;
    return uri ? *uri : TokenUri{};
  }

  static bool SignsAndVerifies(const TokenResult& login) {
    const std::array<std::uint8_t, 5> data{1, 2, 3, 4, 5};
    const std::array<ByteView, 1> ranges{ByteView(data)};
    const auto signedData = CmsSign(*login.certificate, *login.key, ranges);
    return signedData && CmsVerify(*signedData, ranges).Valid();
  }

  std::unique_ptr<SoftToken> token_;
};

TEST_F(TokenKeyTest, TheRightPinGivesAKeyThatSignsOnTheToken) {
  const TokenResult certificate = ReadTokenCertificate(Uri());
  ASSERT_TRUE(certificate.Ok()) << certificate.detail;

  const TokenResult login = LoginToTokenKey(Uri(), SoftToken::kUserPin);
  ASSERT_TRUE(login.Ok()) << login.detail;
  EXPECT_EQ(login.certificate->Der(), certificate.certificate->Der());
  EXPECT_TRUE(login.key->Matches(*login.certificate));
  EXPECT_TRUE(SignsAndVerifies(login));
  const std::array<std::uint8_t, 3> data{7, 8, 9};
  const auto signature = SignPkcs1Sha1(*login.key, data);
  ASSERT_TRUE(signature);
  EXPECT_TRUE(VerifyPkcs1Sha1(*login.certificate, data, *signature));
}

TEST_F(TokenKeyTest, AWrongPinIsRefusedCountedByTheTokenAndEndsTheEarlierLogin) {
  const TokenResult first = LoginToTokenKey(Uri(), SoftToken::kUserPin);
  ASSERT_TRUE(first.Ok()) << first.detail;
  EXPECT_FALSE(first.pin.countLow);

  const TokenResult wrong = LoginToTokenKey(Uri(), "654321");
  EXPECT_EQ(wrong.failure, TokenFailure::WrongPin) << wrong.detail;
  EXPECT_FALSE(wrong.key);
  EXPECT_TRUE(wrong.pin.countLow) << "the token counts the wrong PIN";
  // The wrong PIN logged the token out: the key found with the right one signs no more.
  EXPECT_FALSE(SignsAndVerifies(first));

  EXPECT_EQ(LoginToTokenKey(Uri(), "").failure, TokenFailure::WrongPin);
  const TokenResult again = LoginToTokenKey(Uri(), SoftToken::kUserPin);
  ASSERT_TRUE(again.Ok()) << again.detail;
  EXPECT_FALSE(again.pin.countLow) << "the right PIN clears the token's count";
  EXPECT_TRUE(SignsAndVerifies(again));
}

TEST_F(TokenKeyTest, AnAbsentTokenKeyOrUntrustedModuleIsNamedAsSuch) {
  EXPECT_EQ(LoginToTokenKey(Uri("pkcs11:token=No%20Such%20Token?module-path=" + std::string(SoftToken::kModule)),
                            SoftToken::kUserPin).failure,
            TokenFailure::NoToken);
  EXPECT_EQ(LoginToTokenKey(Uri("pkcs11:object=nothing?module-path=" + std::string(SoftToken::kModule)),
                            SoftToken::kUserPin).failure,
            TokenFailure::NoKey);
  EXPECT_EQ(ReadTokenCertificate(Uri("pkcs11:object=x?module-path=/nonexistent/module.so")).failure,
            TokenFailure::NoModule);

  // A module anyone may replace is never loaded: loading runs its code in this process.
  const sealrun::testing::TempDir shared;
  const auto copy = shared.Path() / "module.so";
  std::filesystem::copy_file(SoftToken::kModule, copy);
  std::filesystem::permissions(shared.Path(), std::filesystem::perms::all);
  const TokenResult untrusted = ReadTokenCertificate(Uri("pkcs11:object=x?module-path=" + copy.string()));
  EXPECT_EQ(untrusted.failure, TokenFailure::NoModule);
  EXPECT_NE(untrusted.detail.find("other users"), std::string::npos) << untrusted.detail;
}

TEST_F(TokenKeyTest, ATokenPulledOutStopsSigningAndLoginsSayWhy) {
  const sealrun::testing::ScopedEnv oneSignature("SEALRUN_TEST_TOKEN_SIGNATURES", "1");
  const TokenUri uri = Uri(SoftToken::KeyUri(SEALRUN_TEST_UNPLUG_MODULE));
  const TokenResult login = LoginToTokenKey(uri, SoftToken::kUserPin);
  ASSERT_TRUE(login.Ok()) << login.detail;
  EXPECT_TRUE(SignsAndVerifies(login));
  EXPECT_FALSE(SignsAndVerifies(login)) << "the token is gone after its one signature";
  const TokenResult after = LoginToTokenKey(uri, SoftToken::kUserPin);
  EXPECT_TRUE(after.failure == TokenFailure::TokenRemoved || after.failure == TokenFailure::NoToken)
      << TokenFailureText(after.failure) << ": " << after.detail;
}

}  // namespace
}  // namespace sealrun::platform::crypto
