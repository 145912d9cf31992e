#include "platform/crypto/TimestampToken.h"

#include <gtest/gtest.h>

#include <ctime>

#include "platform/crypto/Cms.h"
#include "tests/platform/crypto/CryptoTestUtil.h"
#include "tests/testsupport/TestCertificates.h"

namespace sealrun::platform::crypto {
namespace {

using sealrun::testing::MakeSelfSignedForTesting;
using sealrun::testing::TestCertificateOptions;
using sealrun::testing::TestIdentity;
using sealrun::testing::WriteFileBytes;

// Tokens made by the openssl tool acting as a time-stamping authority.
class TimestampTokenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(testutil::HaveOpensslTool()) << "openssl command line not available (scripts/setup installs it)";
    TestCertificateOptions options;
    options.commonName = "Sealrun Test TSA";
    options.extendedKeyUsage = "critical,timeStamping";
    authority_ = MakeSelfSignedForTesting(options);
    WriteFileBytes(dir_ / "tsa.pem", authority_.certificatePem);
    WriteFileBytes(dir_ / "tsa.key", authority_.privateKeyPem);
    WriteFileBytes(dir_ / "serial", "01\n");
    WriteFileBytes(dir_ / "tsa.cnf", "[ tsa ]\ndefault_tsa = stamping\n[ stamping ]\nserial = " +
                                         (dir_ / "serial").string() +
                                         "\nsigner_digest = sha256\ndefault_policy = 1.2.3.4.1\n"
                                         "digests = sha256, sha1\nordering = no\ness_cert_id_alg = sha256\n");
  }

  // A token over the data, its imprint made with the digest named ("sha256", "sha1").
  Bytes Stamp(std::string_view data, const std::string& digest = "sha256") {
    WriteFileBytes(dir_ / "data.bin", std::string(data));
    const bool made = testutil::Run("openssl ts -query -" + digest + " -cert -no_nonce -data " + (dir_ / "data.bin").string() +
                                    " -out " + (dir_ / "query.tsq").string()) &&
                      testutil::Run("openssl ts -reply -queryfile " + (dir_ / "query.tsq").string() + " -signer " +
                                    (dir_ / "tsa.pem").string() + " -inkey " + (dir_ / "tsa.key").string() +
                                    " -config " + (dir_ / "tsa.cnf").string() + " -token_out -out " +
                                    (dir_ / "token.der").string());
    EXPECT_TRUE(made) << "openssl ts could not make a token";
    return made ? testutil::ReadBytes(dir_ / "token.der") : Bytes{};
  }

  sealrun::testing::TempDir dir_;
  TestIdentity authority_;
};

TEST_F(TimestampTokenTest, ATokenStampsItsDataHoweverTheDataIsCut) {
  const std::string data = "%PDF-1.7 ... the revision a document timestamp covers ...";
  const std::time_t before = std::time(nullptr);
  for (const std::string digest : {"sha256", "sha1"}) {
    SCOPED_TRACE(digest);
    const Bytes token = Stamp(data, digest);
    const ByteView all = AsBytes(data);
    const TimestampVerifyResult result = VerifyTimestampToken(token, {all.first(9), all.subspan(9)});
    EXPECT_TRUE(result.Valid()) << result.problem;
    ASSERT_TRUE(result.signer.has_value());
    EXPECT_TRUE(*result.signer == *Certificate::FromDer(authority_.certificateDer));
    ASSERT_TRUE(result.genTime.has_value());
    EXPECT_GE(*result.genTime + 1, before);
  }
}

TEST_F(TimestampTokenTest, OtherDataAChangedTokenOrASignerThatDoesNotStampTimeFail) {
  const std::string data = "the stamped revision";
  Bytes token = Stamp(data);
  const TimestampVerifyResult other = VerifyTimestampToken(token, {AsBytes("the stamped revisioN")});
  EXPECT_FALSE(other.Valid());
  EXPECT_FALSE(other.imprintMatches);
  EXPECT_TRUE(other.signatureValid) << "the token itself is intact";

  // The last byte is the authority's signature value.
  token.back() ^= 0x01;
  const TimestampVerifyResult changed = VerifyTimestampToken(token, {AsBytes(data)});
  EXPECT_FALSE(changed.Valid());
  EXPECT_TRUE(changed.imprintMatches);
  EXPECT_FALSE(changed.signatureValid);
  token.back() ^= 0x01;

  // The same TSTInfo signed by an ordinary certificate: a sound signature, but no time-stamping authority.
  const std::optional<Bytes> info = CmsEncapsulatedContent(token);
  ASSERT_TRUE(info.has_value());
  testutil::WriteBytes(dir_ / "tstinfo.der", *info);
  const TestIdentity plain = MakeSelfSignedForTesting();
  WriteFileBytes(dir_ / "plain.pem", plain.certificatePem);
  WriteFileBytes(dir_ / "plain.key", plain.privateKeyPem);
  ASSERT_TRUE(testutil::Run("openssl cms -sign -binary -nodetach -econtent_type 1.2.840.113549.1.9.16.1.4 -in " +
                            (dir_ / "tstinfo.der").string() + " -signer " + (dir_ / "plain.pem").string() +
                            " -inkey " + (dir_ / "plain.key").string() + " -outform DER -out " +
                            (dir_ / "plain-token.der").string()));
  const TimestampVerifyResult notAuthority =
      VerifyTimestampToken(testutil::ReadBytes(dir_ / "plain-token.der"), {AsBytes(data)});
  EXPECT_TRUE(notAuthority.imprintMatches);
  EXPECT_TRUE(notAuthority.signatureValid);
  EXPECT_FALSE(notAuthority.timeStampingSigner);
  EXPECT_FALSE(notAuthority.Valid());
}

TEST_F(TimestampTokenTest, WhatIsNotATokenIsNotWellFormed) {
  WriteFileBytes(dir_ / "data.txt", "just data");
  ASSERT_TRUE(testutil::Run("openssl cms -sign -binary -nodetach -in " + (dir_ / "data.txt").string() + " -signer " +
                            (dir_ / "tsa.pem").string() + " -inkey " + (dir_ / "tsa.key").string() +
                            " -outform DER -out " + (dir_ / "message.der").string()));
  const TimestampVerifyResult message = VerifyTimestampToken(testutil::ReadBytes(dir_ / "message.der"), {AsBytes("just data")});
  EXPECT_FALSE(message.wellFormed);
  EXPECT_FALSE(message.Valid());
  EXPECT_FALSE(message.problem.empty());
  const Bytes token = Stamp("data");
  for (std::size_t length : {std::size_t{0}, std::size_t{1}, token.size() / 2, token.size() - 1}) {
    EXPECT_FALSE(VerifyTimestampToken(ByteView(token).first(length), {AsBytes("data")}).Valid()) << length;
  }
}

}  // namespace
}  // namespace sealrun::platform::crypto
