#include "platform/crypto/Pkcs1.h"

#include <gtest/gtest.h>

#include "tests/platform/crypto/CryptoTestUtil.h"
#include "tests/testsupport/TestCertificates.h"

namespace sealrun::platform::crypto {
namespace {

using sealrun::testing::SharedTestIdentity;

struct Pkcs1Test : ::testing::Test {
  PrivateKey key = PrivateKey::FromPem(SharedTestIdentity().privateKeyPem).Value();
  Certificate certificate = Certificate::FromDer(SharedTestIdentity().certificateDer).Value();
};

TEST_F(Pkcs1Test, SignAndVerify) {
  const ByteView data = AsBytes("signed attributes go here");
  auto signature = SignPkcs1Sha1(key, data);
  ASSERT_TRUE(signature.Ok()) << signature.GetError().message;
  EXPECT_EQ(signature->size(), 256u);
  EXPECT_TRUE(VerifyPkcs1Sha1(certificate, data, *signature));

  // PKCS#1 v1.5 is deterministic: signing a digest computed elsewhere gives the same bytes.
  auto fromDigest = SignPkcs1Digest(key, DigestAlgorithm::Sha1, Sha1(data));
  ASSERT_TRUE(fromDigest.Ok());
  EXPECT_EQ(*fromDigest, *signature);
  EXPECT_FALSE(SignPkcs1Digest(key, DigestAlgorithm::Sha1, Sha256(data)).Ok()) << "digest of the wrong size";

  EXPECT_FALSE(VerifyPkcs1Sha1(certificate, AsBytes("signed attributes go herE"), *signature));
  EXPECT_FALSE(VerifyPkcs1(certificate, DigestAlgorithm::Sha256, data, *signature)) << "other digest";
  Bytes flipped = *signature;
  flipped[100] ^= 0x08;
  EXPECT_FALSE(VerifyPkcs1Sha1(certificate, data, flipped));
  EXPECT_FALSE(VerifyPkcs1Sha1(certificate, data, {}));
  EXPECT_FALSE(VerifyPkcs1Sha1(certificate, data, Bytes(3, 1)));

  auto sha256 = SignPkcs1(key, DigestAlgorithm::Sha256, data);
  ASSERT_TRUE(sha256.Ok());
  EXPECT_TRUE(VerifyPkcs1(certificate, DigestAlgorithm::Sha256, data, *sha256));
}

TEST_F(Pkcs1Test, AgreesWithTheOpensslTool) {
  ASSERT_TRUE(testutil::HaveOpensslTool()) << "openssl command line not available (scripts/setup installs it)";
  sealrun::testing::TempDir dir;
  const std::string data = "the bytes a signing server is given";
  sealrun::testing::WriteFileBytes(dir / "data.bin", data);
  sealrun::testing::WriteFileBytes(dir / "key.pem", SharedTestIdentity().privateKeyPem);
  ASSERT_TRUE(testutil::Run("openssl dgst -sha1 -sign " + (dir / "key.pem").string() + " -out " +
                            (dir / "sig.bin").string() + " " + (dir / "data.bin").string()));
  auto ours = SignPkcs1Sha1(key, AsBytes(data));
  ASSERT_TRUE(ours.Ok());
  EXPECT_EQ(*ours, testutil::ReadBytes(dir / "sig.bin"));
}

}  // namespace
}  // namespace sealrun::platform::crypto
