#include "platform/crypto/SignedDataBuilder.h"

#include <gtest/gtest.h>

#include "platform/crypto/Cms.h"
#include "platform/crypto/Pkcs1.h"
#include "tests/platform/crypto/CryptoTestUtil.h"
#include "tests/testsupport/TestCertificates.h"

namespace sealrun::platform::crypto {
namespace {

using sealrun::testing::SharedTestIdentity;

struct SignedDataBuilderTest : ::testing::Test {
  PrivateKey key = PrivateKey::FromPem(SharedTestIdentity().privateKeyPem).Value();
  Certificate certificate = Certificate::FromDer(SharedTestIdentity().certificateDer).Value();
  const std::string first = "%PDF-1.7 ... /Contents <";
  const std::string second = "> ... %%EOF";

  // What a signing server does: sign the attributes' DER with SHA-1 and RSA.
  SignedDataParts PartsFor(ByteView digest) {
    SignedDataParts parts{certificate, BuildSignedAttributes(digest), {}, DigestAlgorithm::Sha1, {}};
    parts.signature = SignPkcs1Sha1(key, parts.signedAttributes).Value();
    return parts;
  }
};

TEST_F(SignedDataBuilderTest, SignedAttributesAreFixedDer) {
  const Bytes digest(20, 0xAB);
  Bytes expected = {0x31, 0x3F,                                                  // SET
                    0x30, 0x18, 0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D,  // contentType
                    0x01, 0x09, 0x03, 0x31, 0x0B, 0x06, 0x09, 0x2A, 0x86, 0x48,
                    0x86, 0xF7, 0x0D, 0x01, 0x07, 0x01,                          // = data
                    0x30, 0x23, 0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D,  // messageDigest
                    0x01, 0x09, 0x04, 0x31, 0x16, 0x04, 0x14};                   // = OCTET STRING
  expected.resize(expected.size() + digest.size(), 0xAB);  // the digest bytes
  EXPECT_EQ(BuildSignedAttributes(digest), expected);
}

TEST_F(SignedDataBuilderTest, AssembledSignedDataVerifies) {
  const Bytes digest = ComputeDigest(DigestAlgorithm::Sha1, {AsBytes(first), AsBytes(second)});
  auto cms = BuildSignedData(PartsFor(digest));
  ASSERT_TRUE(cms.Ok()) << cms.GetError().message;
  EXPECT_EQ(DerElementLength(*cms), cms->size());

  const CmsVerifyResult result = CmsVerify(*cms, {AsBytes(first), AsBytes(second)});
  EXPECT_TRUE(result.Valid()) << result.problem;
  ASSERT_TRUE(result.signer.has_value());
  EXPECT_TRUE(*result.signer == certificate);
  EXPECT_EQ(result.digest, DigestAlgorithm::Sha1);

  EXPECT_FALSE(CmsVerify(*cms, {AsBytes(first), AsBytes("> ... %%EOF\n")}).digestMatches);

  // A signature made over other attributes does not verify.
  SignedDataParts wrong = PartsFor(digest);
  wrong.signature = SignPkcs1Sha1(key, BuildSignedAttributes(Bytes(20, 0))).Value();
  const CmsVerifyResult bad = CmsVerify(BuildSignedData(wrong).Value(), {AsBytes(first), AsBytes(second)});
  EXPECT_TRUE(bad.digestMatches);
  EXPECT_FALSE(bad.signatureValid);
}

TEST_F(SignedDataBuilderTest, TimeStampTokenGoesIntoUnsignedAttributes) {
  const Bytes digest = ComputeDigest(DigestAlgorithm::Sha1, {AsBytes(first)});
  SignedDataParts parts = PartsFor(digest);
  parts.timeStampToken = {0x30, 0x03, 0x02, 0x01, 0x05};  // any DER element; the verifier does not judge it
  auto cms = BuildSignedData(parts);
  ASSERT_TRUE(cms.Ok());
  EXPECT_TRUE(CmsVerify(*cms, {AsBytes(first)}).Valid());
  const Bytes oid = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x10, 0x02, 0x0E};
  EXPECT_NE(std::search(cms->begin(), cms->end(), oid.begin(), oid.end()), cms->end());
}

TEST_F(SignedDataBuilderTest, RefusesBadParts) {
  SignedDataParts parts = PartsFor(Bytes(20, 1));
  parts.signature.clear();
  EXPECT_FALSE(BuildSignedData(parts).Ok());
  parts = PartsFor(Bytes(20, 1));
  parts.signedAttributes[0] = 0x30;  // a SEQUENCE, not a SET
  EXPECT_FALSE(BuildSignedData(parts).Ok());
  parts = PartsFor(Bytes(20, 1));
  parts.signedAttributes.push_back(0);
  EXPECT_FALSE(BuildSignedData(parts).Ok());
}

TEST_F(SignedDataBuilderTest, TheOpensslToolAcceptsIt) {
  ASSERT_TRUE(testutil::HaveOpensslTool()) << "openssl command line not available (scripts/setup installs it)";
  sealrun::testing::TempDir dir;
  const Bytes digest = ComputeDigest(DigestAlgorithm::Sha1, {AsBytes(first), AsBytes(second)});
  testutil::WriteBytes(dir / "cms.der", BuildSignedData(PartsFor(digest)).Value());
  sealrun::testing::WriteFileBytes(dir / "content.bin", first + second);
  EXPECT_TRUE(testutil::Run("openssl cms -verify -binary -noverify -inform DER -in " + (dir / "cms.der").string() +
                            " -content " + (dir / "content.bin").string() + " -out " + (dir / "out.bin").string()));
}

}  // namespace
}  // namespace sealrun::platform::crypto
