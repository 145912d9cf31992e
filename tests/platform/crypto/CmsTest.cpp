#include "platform/crypto/Cms.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>

#include "platform/crypto/CmsCertificates.h"
#include "platform/crypto/KeyStore.h"
#include "tests/platform/crypto/CryptoTestUtil.h"
#include "tests/testsupport/TestCertificates.h"

namespace sealrun::platform::crypto {
namespace {

using sealrun::testing::MakeSelfSignedForTesting;
using sealrun::testing::SharedTestIdentity;
using sealrun::testing::TestCertificateOptions;

// A PDF-like file: the signature's contents sit between two signed ranges.
struct SignedFile {
  Bytes bytes;
  std::size_t gapStart;
  std::size_t gapEnd;
  ByteView First() const { return ByteView(bytes).subspan(0, gapStart); }
  ByteView Second() const { return ByteView(bytes).subspan(gapEnd); }
};

SignedFile MakeFile() {
  SignedFile file;
  std::mt19937 random(42);
  file.bytes.resize(200000);
  for (auto& byte : file.bytes) byte = static_cast<std::uint8_t>(random());
  file.gapStart = 120000;
  file.gapEnd = 136384;
  return file;
}

class CmsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KeyStore::Instance().Clear();
    auto imported = KeyStore::Instance().ImportPkcs12(SharedTestIdentity().pkcs12, SharedTestIdentity().password);
    ASSERT_TRUE(imported.Ok());
    signer = std::make_unique<Certificate>(*imported);
  }
  void TearDown() override { KeyStore::Instance().Clear(); }

  Bytes Sign(const SignedFile& file, const CmsSignOptions& options = {}) {
    const ByteView ranges[] = {file.First(), file.Second()};
    auto cms = CmsSign(*signer, ranges, options);
    EXPECT_TRUE(cms.Ok()) << (cms.Ok() ? "" : cms.GetError().message);
    return cms.Ok() ? *cms : Bytes{};
  }

  // "content" signed by a leaf issued by a fresh CA, the CA's certificate carried beside the leaf's.
  struct ChainSigned {
    std::optional<Certificate> leaf;
    std::optional<Bytes> cms;
  };
  static ChainSigned SignWithChain() {
    TestCertificateOptions caOptions;
    caOptions.commonName = "Sealrun Test CA";
    caOptions.isCa = true;
    caOptions.freshKey = true;
    const auto ca = MakeSelfSignedForTesting(caOptions);
    const auto leaf = sealrun::testing::MakeIssuedForTesting(ca);
    auto caCertificate = Certificate::FromDer(ca.certificateDer);
    auto leafCertificate = KeyStore::Instance().ImportPkcs12(leaf.pkcs12, leaf.password);
    EXPECT_TRUE(caCertificate.Ok() && leafCertificate.Ok());
    ChainSigned signed_;
    if (!caCertificate.Ok() || !leafCertificate.Ok()) return signed_;
    signed_.leaf = *leafCertificate;
    CmsSignOptions options;
    options.extraCertificates.push_back(*caCertificate);
    const ByteView ranges[] = {AsBytes("content")};
    auto cms = CmsSign(*leafCertificate, ranges, options);
    EXPECT_TRUE(cms.Ok());
    if (cms.Ok()) signed_.cms = *cms;
    return signed_;
  }

  std::unique_ptr<Certificate> signer;
};

TEST_F(CmsTest, SignedRangesVerifyAndNameTheSigner) {
  const SignedFile file = MakeFile();
  CmsSignOptions options;
  options.signingTime = 1700000000;
  const Bytes cms = Sign(file, options);
  ASSERT_FALSE(cms.empty());
  EXPECT_EQ(DerElementLength(cms), cms.size());

  const CmsVerifyResult result = CmsVerify(cms, {file.First(), file.Second()});
  EXPECT_TRUE(result.Valid()) << result.problem;
  ASSERT_TRUE(result.signer.has_value());
  EXPECT_TRUE(*result.signer == *signer);
  EXPECT_EQ(result.digest, DigestAlgorithm::Sha256);
  EXPECT_EQ(result.signingTime, std::optional<std::time_t>(1700000000));

  // The same data cut at another place is the same data.
  const ByteView whole(file.bytes);
  Bytes joined(file.First().begin(), file.First().end());
  joined.insert(joined.end(), file.Second().begin(), file.Second().end());
  CmsVerifier verifier(cms);
  verifier.Update(ByteView(joined).subspan(0, 7));
  verifier.Update(ByteView(joined).subspan(7));
  EXPECT_TRUE(verifier.Finish().Valid());
  // ...but the whole file (with the gap) is not.
  EXPECT_FALSE(CmsVerify(cms, {whole}).digestMatches);
}

TEST_F(CmsTest, StreamingSignerMatchesTheOneCallForm) {
  const SignedFile file = MakeFile();
  CmsSignOptions options;
  options.digest = DigestAlgorithm::Sha1;
  auto streaming = CmsSigner::Create(*signer, options);
  ASSERT_TRUE(streaming.Ok());
  for (std::size_t offset = 0; offset < file.gapStart; offset += 4096) {
    streaming->Update(file.First().subspan(offset, std::min<std::size_t>(4096, file.gapStart - offset)));
  }
  streaming->Update(file.Second());
  auto cms = streaming->Finish();
  ASSERT_TRUE(cms.Ok()) << cms.GetError().message;
  EXPECT_FALSE(streaming->Finish().Ok()) << "a finished signer cannot sign twice";

  const CmsVerifyResult result = CmsVerify(*cms, {file.First(), file.Second()});
  EXPECT_TRUE(result.Valid()) << result.problem;
  EXPECT_EQ(result.digest, DigestAlgorithm::Sha1);
  ASSERT_TRUE(result.signingTime.has_value());
  EXPECT_NEAR(static_cast<double>(*result.signingTime), static_cast<double>(std::time(nullptr)), 60);
}

TEST_F(CmsTest, TamperedDataOrSignatureIsCaught) {
  SignedFile file = MakeFile();
  Bytes cms = Sign(file);
  ASSERT_FALSE(cms.empty());

  // A flipped data byte in either range: the digest no longer matches; the signature over the
  // signed attributes itself is still intact.
  for (const std::size_t position : {std::size_t{10}, file.gapEnd + 5}) {
    file.bytes[position] ^= 0x01;
    const CmsVerifyResult result = CmsVerify(cms, {file.First(), file.Second()});
    EXPECT_FALSE(result.Valid());
    EXPECT_FALSE(result.digestMatches);
    EXPECT_TRUE(result.signatureValid);
    EXPECT_FALSE(result.problem.empty());
    file.bytes[position] ^= 0x01;
  }

  // A flipped byte in the signature value (the last bytes of the DER): the signature fails.
  cms[cms.size() - 3] ^= 0x40;
  const CmsVerifyResult result = CmsVerify(cms, {file.First(), file.Second()});
  EXPECT_TRUE(result.wellFormed);
  EXPECT_TRUE(result.digestMatches);
  EXPECT_FALSE(result.signatureValid);
  EXPECT_FALSE(result.Valid());
}

TEST_F(CmsTest, GarbageNeverVerifiesAndNeverCrashes) {
  const SignedFile file = MakeFile();
  const Bytes cms = Sign(file);
  ASSERT_FALSE(cms.empty());
  std::vector<Bytes> inputs = {
      {},
      {0x30},
      {0x30, 0x82, 0xFF, 0xFF},
      {0x30, 0x80},
      Bytes(cms.begin(), cms.begin() + static_cast<std::ptrdiff_t>(cms.size() / 2)),
      SharedTestIdentity().certificateDer,  // DER, but not a CMS
      Bytes(5000, 0),
  };
  // Any change in the signature value (the last 256 bytes for RSA 2048).
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    Bytes mutated = cms;
    const std::size_t position = mutated.size() - 1 - random() % 256;
    mutated[position] ^= static_cast<std::uint8_t>(1 + random() % 255);
    inputs.push_back(std::move(mutated));
  }
  int valid = 0;
  for (const Bytes& input : inputs) {
    const CmsVerifyResult result = CmsVerify(input, {file.First(), file.Second()});
    if (result.Valid()) ++valid;
    if (!result.Valid()) {
      EXPECT_FALSE(result.problem.empty());
    }
  }
  EXPECT_EQ(valid, 0);
  // Changes anywhere else may hit bytes nobody signs (the certificate's own signature, algorithm
  // parameters), but never crash, and whatever verifies names its signer.
  for (int round = 0; round < 300; ++round) {
    Bytes mutated = cms;
    for (int flips = 0; flips < 3; ++flips) mutated[random() % mutated.size()] = static_cast<std::uint8_t>(random());
    const CmsVerifyResult result = CmsVerify(mutated, {file.First(), file.Second()});
    EXPECT_TRUE(!result.Valid() || result.signer.has_value());
  }
  EXPECT_FALSE(CmsVerify(inputs[0], {file.First()}).wellFormed);
}

TEST_F(CmsTest, SignatureContentsWithZeroPaddingVerify) {
  // A PDF keeps the DER in a fixed-size hole filled up with zero bytes.
  const SignedFile file = MakeFile();
  Bytes padded = Sign(file);
  const std::size_t length = padded.size();
  padded.resize(length + 4000, 0);
  EXPECT_EQ(DerElementLength(padded), length);
  EXPECT_TRUE(CmsVerify(padded, {file.First(), file.Second()}).Valid());
  EXPECT_EQ(DerElementLength(Bytes{0x30, 0x05, 0x01}), 0u) << "content runs past the end";
  EXPECT_EQ(DerElementLength(Bytes{0x30, 0x80, 0x04, 0x01, 0xAA, 0x00, 0x00, 0xFF}), 7u) << "indefinite length";
}

TEST_F(CmsTest, SignerNeedsItsKey) {
  TestCertificateOptions options;
  options.freshKey = true;
  auto stranger = Certificate::FromDer(MakeSelfSignedForTesting(options).certificateDer);
  ASSERT_TRUE(stranger.Ok());
  const ByteView ranges[] = {AsBytes("data")};
  auto noKey = CmsSign(*stranger, ranges);
  ASSERT_FALSE(noKey.Ok());
  EXPECT_EQ(noKey.GetError().code, ErrorCode::NotFound);

  auto sharedKey = PrivateKey::FromPem(SharedTestIdentity().privateKeyPem);
  ASSERT_TRUE(sharedKey.Ok());
  auto mismatch = CmsSign(*stranger, *sharedKey, ranges);
  ASSERT_FALSE(mismatch.Ok());
  EXPECT_EQ(mismatch.GetError().code, ErrorCode::KeyMismatch);

  // An explicit key signs without the store.
  KeyStore::Instance().Clear();
  auto explicitKey = CmsSign(*signer, *sharedKey, ranges);
  ASSERT_TRUE(explicitKey.Ok());
  EXPECT_TRUE(CmsVerify(*explicitKey, {AsBytes("da"), AsBytes("ta")}).Valid());
}

TEST_F(CmsTest, ChainCertificatesTravelWithTheSignature) {
  const ChainSigned chain = SignWithChain();
  ASSERT_TRUE(chain.cms.has_value());
  const auto& cms = chain.cms;
  const auto& leafCertificate = chain.leaf;
  const CmsVerifyResult result = CmsVerify(*cms, {AsBytes("content")});
  EXPECT_TRUE(result.Valid()) << result.problem;
  ASSERT_TRUE(result.signer.has_value());
  EXPECT_TRUE(*result.signer == *leafCertificate) << "the signer, not the first certificate carried";
  EXPECT_EQ(result.certificates.size(), 2u);
}

// The certificates are read apart from the SignedData (each file of a batch carries the same ones): the
// SignedData without them is still well formed and verifies with them given as known certificates, and a
// signature in BER (indefinite lengths) is read whole as before.
TEST_F(CmsTest, CertificatesReadApartLeaveTheSameSignature) {
  const ChainSigned chain = SignWithChain();
  ASSERT_TRUE(chain.cms.has_value());
  const auto& cms = chain.cms;
  const auto& leafCertificate = chain.leaf;
  const ByteView ranges[] = {AsBytes("content")};

  const auto separated = SeparateCertificates(*cms);
  ASSERT_TRUE(separated.has_value());
  const CmsVerifyResult whole = CmsVerify(*cms, ranges);
  ASSERT_TRUE(whole.Valid()) << whole.problem;
  ASSERT_EQ(separated->certificates.size(), whole.certificates.size());
  for (std::size_t i = 0; i < whole.certificates.size(); ++i) {
    const ByteView apart = separated->certificates[i];
    EXPECT_EQ(Bytes(apart.begin(), apart.end()), whole.certificates[i].Der()) << "certificate " << i;
  }
  EXPECT_LT(separated->signedData.size(), cms->size());
  const CmsVerifyResult without = CmsVerify(separated->signedData, ranges);
  EXPECT_FALSE(without.Valid()) << "no signer certificate left in it";
  EXPECT_EQ(without.problem, "the signer certificate is not included");
  const Certificate known[] = {*leafCertificate};
  EXPECT_TRUE(CmsVerify(separated->signedData, ranges, known).Valid());
  const ByteView changed[] = {AsBytes("changed")};
  EXPECT_FALSE(CmsVerify(separated->signedData, changed, known).Valid());

  // The same signature with its outer length indefinite.
  ASSERT_EQ((*cms)[0], 0x30);
  const std::size_t header = ((*cms)[1] & 0x80) != 0 ? 2 + ((*cms)[1] & 0x7F) : 2;
  Bytes ber = {0x30, 0x80};
  ber.insert(ber.end(), cms->begin() + static_cast<std::ptrdiff_t>(header), cms->end());
  ber.insert(ber.end(), {0x00, 0x00});
  EXPECT_FALSE(SeparateCertificates(ber).has_value());
  const CmsVerifyResult fromBer = CmsVerify(ber, ranges);
  EXPECT_TRUE(fromBer.Valid()) << fromBer.problem;
  EXPECT_EQ(fromBer.certificates.size(), 2u);
}

TEST_F(CmsTest, InteroperatesWithTheOpensslTool) {
  ASSERT_TRUE(testutil::HaveOpensslTool()) << "openssl command line not available (scripts/setup installs it)";
  sealrun::testing::TempDir dir;
  const SignedFile file = MakeFile();
  Bytes joined(file.First().begin(), file.First().end());
  joined.insert(joined.end(), file.Second().begin(), file.Second().end());
  testutil::WriteBytes(dir / "content.bin", joined);
  testutil::WriteBytes(dir / "ours.der", Sign(file));
  EXPECT_TRUE(testutil::Run("openssl cms -verify -binary -noverify -inform DER -in " + (dir / "ours.der").string() +
                            " -content " + (dir / "content.bin").string() + " -out " + (dir / "out.bin").string()));
  joined[3] ^= 1;
  testutil::WriteBytes(dir / "changed.bin", joined);
  EXPECT_FALSE(testutil::Run("openssl cms -verify -binary -noverify -inform DER -in " + (dir / "ours.der").string() +
                             " -content " + (dir / "changed.bin").string() + " -out " + (dir / "out.bin").string()));
  joined[3] ^= 1;

  // And what the tool signs, we verify.
  const auto& identity = SharedTestIdentity();
  sealrun::testing::WriteFileBytes(dir / "key.pem", identity.privateKeyPem);
  sealrun::testing::WriteFileBytes(dir / "cert.pem", identity.certificatePem);
  ASSERT_TRUE(testutil::Run("openssl cms -sign -binary -md sha1 -outform DER -signer " + (dir / "cert.pem").string() +
                            " -inkey " + (dir / "key.pem").string() + " -in " + (dir / "content.bin").string() +
                            " -out " + (dir / "theirs.der").string()));
  const CmsVerifyResult theirs = CmsVerify(testutil::ReadBytes(dir / "theirs.der"), {file.First(), file.Second()});
  EXPECT_TRUE(theirs.Valid()) << theirs.problem;
  EXPECT_EQ(theirs.digest, DigestAlgorithm::Sha1);

  // A PKCS#7 signature without signed attributes: the signature covers the content digest directly.
  ASSERT_TRUE(testutil::Run("openssl cms -sign -binary -noattr -outform DER -signer " + (dir / "cert.pem").string() +
                            " -inkey " + (dir / "key.pem").string() + " -in " + (dir / "content.bin").string() +
                            " -out " + (dir / "noattr.der").string()));
  const Bytes noAttributes = testutil::ReadBytes(dir / "noattr.der");
  EXPECT_TRUE(CmsVerify(noAttributes, {joined}).Valid());
  joined[0] ^= 1;
  EXPECT_FALSE(CmsVerify(noAttributes, {joined}).Valid());
}

// Messages made by another system: the data inside the SignedData (attached), or a signer certificate kept
// beside the message rather than in it.
TEST_F(CmsTest, AttachedDataIsReadBackAndALeftOutSignerIsFoundAmongKnownCertificates) {
  ASSERT_TRUE(testutil::HaveOpensslTool()) << "openssl command line not available (scripts/setup installs it)";
  sealrun::testing::TempDir dir;
  const auto& identity = SharedTestIdentity();
  sealrun::testing::WriteFileBytes(dir / "key.pem", identity.privateKeyPem);
  sealrun::testing::WriteFileBytes(dir / "cert.pem", identity.certificatePem);
  sealrun::testing::WriteFileBytes(dir / "data.txt", "FINGERPRINT-0123");
  const std::string sign = "openssl cms -sign -binary -outform DER -signer " + (dir / "cert.pem").string() + " -inkey " +
                           (dir / "key.pem").string() + " -in " + (dir / "data.txt").string();
  ASSERT_TRUE(testutil::Run(sign + " -nodetach -out " + (dir / "attached.der").string()));
  ASSERT_TRUE(testutil::Run(sign + " -out " + (dir / "detached.der").string()));
  ASSERT_TRUE(testutil::Run(sign + " -nodetach -nocerts -out " + (dir / "nocerts.der").string()));
  const Bytes attached = testutil::ReadBytes(dir / "attached.der");
  const Bytes detached = testutil::ReadBytes(dir / "detached.der");
  const Bytes noCertificates = testutil::ReadBytes(dir / "nocerts.der");

  const std::optional<Bytes> carried = CmsEncapsulatedContent(attached);
  ASSERT_TRUE(carried.has_value());
  EXPECT_EQ(std::string(AsChars(*carried)), "FINGERPRINT-0123");
  EXPECT_TRUE(CmsVerify(attached, {ByteView(*carried)}).Valid());
  EXPECT_FALSE(CmsEncapsulatedContent(detached).has_value());
  EXPECT_FALSE(CmsEncapsulatedContent(AsBytes("not a SignedData")).has_value());
  EXPECT_TRUE(CmsVerify(detached, {AsBytes("FINGERPRINT-0123")}).Valid());
  // A verifier gives the same content before it is finished, from the one parse it verifies with.
  for (const Bytes* der : {&attached, &detached}) {
    CmsVerifier verifier(*der);
    const std::optional<Bytes> content = verifier.EncapsulatedContent();
    EXPECT_EQ(content, CmsEncapsulatedContent(*der));
    verifier.Update(AsBytes("FINGERPRINT-0123"));
    EXPECT_TRUE(verifier.Finish().Valid());
  }
  EXPECT_FALSE(CmsVerifier(AsBytes("not a SignedData")).EncapsulatedContent().has_value());

  const std::optional<Bytes> data = CmsEncapsulatedContent(noCertificates);
  ASSERT_TRUE(data.has_value());
  const CmsVerifyResult alone = CmsVerify(noCertificates, {ByteView(*data)});
  EXPECT_FALSE(alone.Valid()) << "no certificate to check the signature with";
  EXPECT_FALSE(alone.signer.has_value());
  const Certificate kept = *Certificate::FromDer(identity.certificateDer);
  TestCertificateOptions strangerOptions;
  strangerOptions.commonName = "Stranger";
  strangerOptions.freshKey = true;
  const Certificate stranger = *Certificate::FromDer(MakeSelfSignedForTesting(strangerOptions).certificateDer);
  const ByteView content[] = {ByteView(*data)};
  const CmsVerifyResult withKept = CmsVerify(noCertificates, content, std::span<const Certificate>(&kept, 1));
  EXPECT_TRUE(withKept.Valid()) << withKept.problem;
  ASSERT_TRUE(withKept.signer.has_value());
  EXPECT_TRUE(*withKept.signer == kept);
  EXPECT_TRUE(withKept.certificates.empty()) << "only what the message carries is listed";
  EXPECT_FALSE(CmsVerify(noCertificates, content, std::span<const Certificate>(&stranger, 1)).Valid());
}

}  // namespace
}  // namespace sealrun::platform::crypto
