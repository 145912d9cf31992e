#include "platform/crypto/Certificate.h"

#include <gtest/gtest.h>

#include <ctime>
#include <random>

#include "platform/crypto/Digest.h"
#include "tests/platform/crypto/CryptoTestUtil.h"
#include "tests/testsupport/TestCertificates.h"

namespace sealrun::platform::crypto {
namespace {

using sealrun::testing::MakeSelfSignedForTesting;
using sealrun::testing::SharedTestIdentity;
using sealrun::testing::TestCertificateOptions;

Certificate Parse(const std::vector<std::uint8_t>& der) {
  auto certificate = Certificate::FromDer(der);
  EXPECT_TRUE(certificate.Ok()) << (certificate.Ok() ? "" : certificate.GetError().message);
  return certificate.Value();
}

TEST(CertificateTest, DerAndPemGiveTheSameCertificate) {
  const auto& identity = SharedTestIdentity();
  auto fromDer = Certificate::FromDer(identity.certificateDer);
  auto fromPem = Certificate::FromPem(identity.certificatePem);
  ASSERT_TRUE(fromDer.Ok());
  ASSERT_TRUE(fromPem.Ok()) << fromPem.GetError().message;
  EXPECT_TRUE(*fromDer == *fromPem);
  EXPECT_EQ(fromPem->Der(), identity.certificateDer);

  // PEM with Windows line ends, text around it and our own PEM output all read back.
  std::string crlf;
  for (char c : identity.certificatePem) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  auto framed = Certificate::FromPem("Subject: test\r\n" + crlf + "trailing words\r\n");
  ASSERT_TRUE(framed.Ok());
  EXPECT_TRUE(*framed == *fromDer);
  auto roundTrip = Certificate::FromPem(fromDer->Pem());
  ASSERT_TRUE(roundTrip.Ok());
  EXPECT_TRUE(*roundTrip == *fromDer);

  auto detected = Certificate::FromBytes(AsBytes(identity.certificatePem));
  ASSERT_TRUE(detected.Ok());
  EXPECT_TRUE(*detected == *fromDer);
}

TEST(CertificateTest, RefusesWhatIsNotOneCertificate) {
  const auto& identity = SharedTestIdentity();
  // Base64 of a valid certificate without an armour line is refused (a certificate text must carry it).
  std::string bare;
  {
    const std::string& pem = identity.certificatePem;
    const auto begin = pem.find('\n') + 1;
    const auto end = pem.find("-----END");
    bare = pem.substr(begin, end - begin);
  }
  auto noArmour = Certificate::FromPem(bare);
  ASSERT_FALSE(noArmour.Ok());
  EXPECT_EQ(noArmour.GetError().code, ErrorCode::InvalidInput);

  std::string brokenBase64 = identity.certificatePem;
  brokenBase64[40] = '*';
  EXPECT_FALSE(Certificate::FromPem(brokenBase64).Ok());
  EXPECT_FALSE(Certificate::FromPem("-----BEGIN CERTIFICATE-----\nMIIB\n").Ok()) << "no END line";

  EXPECT_FALSE(Certificate::FromDer({}).Ok());
  Bytes truncated(identity.certificateDer.begin(), identity.certificateDer.end() - 10);
  EXPECT_FALSE(Certificate::FromDer(truncated).Ok());
  Bytes trailing = identity.certificateDer;
  trailing.push_back(0);
  EXPECT_FALSE(Certificate::FromDer(trailing).Ok());
  const Bytes garbage(300, 0x30);
  EXPECT_FALSE(Certificate::FromDer(garbage).Ok());
}

TEST(CertificateTest, DamagedDerNeverCrashesAndWhatParsesRoundTrips) {
  const auto& identity = SharedTestIdentity();
  std::mt19937 random(3);
  for (int round = 0; round < 400; ++round) {
    Bytes damaged = identity.certificateDer;
    for (int flips = 0; flips < 2; ++flips) damaged[random() % damaged.size()] ^= static_cast<std::uint8_t>(random());
    auto certificate = Certificate::FromDer(damaged);
    if (!certificate.Ok()) {
      EXPECT_FALSE(certificate.GetError().message.empty());
      continue;
    }
    // Every reader copes with whatever the damage left.
    (void)certificate->SubjectName(NameStyle::Full);
    (void)certificate->IssuerName(NameStyle::SimpleDisplay);
    (void)certificate->SubjectName(NameStyle::Email);
    (void)certificate->SerialNumberHex();
    (void)certificate->NotAfter();
    (void)certificate->PublicKeyBits();
    auto again = Certificate::FromPem(certificate->Pem());
    ASSERT_TRUE(again.Ok());
    EXPECT_TRUE(*again == *certificate);
  }
}

TEST(CertificateTest, NamesInEachStyle) {
  TestCertificateOptions options;
  options.commonName = "张三";
  options.organization = "Velmarch, Ltd";
  options.organizationalUnit = "Seals";
  options.email = "zhang@example.com";
  const Certificate certificate = Parse(MakeSelfSignedForTesting(options).certificateDer);

  EXPECT_EQ(certificate.SubjectName(NameStyle::SimpleDisplay), u"张三");
  EXPECT_EQ(certificate.SubjectName(NameStyle::Email), u"zhang@example.com");
  EXPECT_EQ(certificate.SubjectName(NameStyle::Full), u"CN=张三, OU=Seals, O=Velmarch\\, Ltd, C=CN");
  EXPECT_EQ(certificate.IssuerName(NameStyle::Full), certificate.SubjectName(NameStyle::Full));
  EXPECT_EQ(certificate.NameAttribute(NameOf::Subject, "O"), u"Velmarch, Ltd");
  EXPECT_EQ(certificate.NameAttribute(NameOf::Subject, "2.5.4.11"), u"Seals");
  EXPECT_EQ(certificate.NameAttribute(NameOf::Subject, "L"), u"");
  EXPECT_EQ(certificate.NameAttribute(NameOf::Subject, "no such attribute"), u"");
  EXPECT_TRUE(certificate.IsSelfIssued());

  // An attribute a name repeats gives every value, in order.
  options.subjectSerialNumbers = {"ZQ-0001", "ZQ-0002"};
  const Certificate serials = Parse(MakeSelfSignedForTesting(options).certificateDer);
  EXPECT_EQ(serials.NameAttributes(NameOf::Subject, "serialNumber"), (std::vector<std::u16string>{u"ZQ-0001", u"ZQ-0002"}));
  EXPECT_EQ(serials.NameAttribute(NameOf::Subject, "2.5.4.5"), u"ZQ-0001");
  EXPECT_TRUE(certificate.NameAttributes(NameOf::Subject, "serialNumber").empty());
}

TEST(CertificateTest, SimpleDisplayNameFallsBackInOrder) {
  TestCertificateOptions options;
  options.commonName.clear();
  options.organization = "Org";
  options.organizationalUnit = "Unit";
  EXPECT_EQ(Parse(MakeSelfSignedForTesting(options).certificateDer).SubjectName(), u"Unit");
  options.organizationalUnit.clear();
  EXPECT_EQ(Parse(MakeSelfSignedForTesting(options).certificateDer).SubjectName(), u"Org");
  options.organization.clear();
  options.email = "only@example.com";
  options.country = "DE";
  // No CN/OU/O/e-mail attribute: the alternative name's e-mail comes before the country.
  EXPECT_EQ(Parse(MakeSelfSignedForTesting(options).certificateDer).SubjectName(), u"only@example.com");
  options.email.clear();
  const Certificate countryOnly = Parse(MakeSelfSignedForTesting(options).certificateDer);
  EXPECT_EQ(countryOnly.SubjectName(), u"DE");
  EXPECT_EQ(countryOnly.SubjectName(NameStyle::Email), u"") << "no e-mail name: empty, never brackets";
}

TEST(CertificateTest, SerialValidityAndKey) {
  TestCertificateOptions options;
  options.serial = 0x80FF01;  // high bit set: DER pads it with a zero byte that is not part of the serial
  options.notBeforeOffset = -7200;
  options.notAfterOffset = 86400;
  const std::time_t now = std::time(nullptr);
  const Certificate certificate = Parse(MakeSelfSignedForTesting(options).certificateDer);

  EXPECT_EQ(certificate.SerialNumber(), (Bytes{0x80, 0xFF, 0x01}));
  EXPECT_EQ(certificate.SerialNumberHex(), "80FF01");
  EXPECT_NEAR(static_cast<double>(certificate.NotBefore()), static_cast<double>(now - 7200), 5);
  EXPECT_NEAR(static_cast<double>(certificate.NotAfter()), static_cast<double>(now + 86400), 5);
  EXPECT_EQ(certificate.CompareValidity(now), 0);
  EXPECT_EQ(certificate.CompareValidity(now - 8000), -1);
  EXPECT_EQ(certificate.CompareValidity(now + 90000), 1);

  EXPECT_EQ(certificate.PublicKeyAlgorithm(), KeyAlgorithm::Rsa);
  EXPECT_EQ(certificate.PublicKeyAlgorithmOid(), "1.2.840.113549.1.1.1");
  EXPECT_EQ(certificate.PublicKeyBits(), 2048);
  EXPECT_EQ(certificate.Sha1Thumbprint().size(), 20u);
}

TEST(CertificateTest, ThumbprintAndNamesAgreeWithTheOpensslTool) {
  ASSERT_TRUE(testutil::HaveOpensslTool()) << "openssl command line not available (scripts/setup installs it)";
  sealrun::testing::TempDir dir;
  TestCertificateOptions options;
  options.organization = "Velmarch";
  const auto identity = MakeSelfSignedForTesting(options);
  testutil::WriteBytes(dir / "cert.der", identity.certificateDer);
  ASSERT_TRUE(testutil::Run("openssl x509 -inform DER -in " + (dir / "cert.der").string() +
                            " -noout -fingerprint -sha1 -serial -out " + (dir / "out.txt").string()));
  const std::string out = sealrun::testing::ReadFileBytes(dir / "out.txt");
  const Certificate certificate = Parse(identity.certificateDer);
  std::string fingerprint;
  for (std::uint8_t byte : certificate.Sha1Thumbprint()) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02X:", byte);
    fingerprint += hex;
  }
  fingerprint.pop_back();
  EXPECT_NE(out.find("Fingerprint=" + fingerprint), std::string::npos) << out;
  EXPECT_NE(out.find("serial=" + certificate.SerialNumberHex()), std::string::npos) << out;
}

}  // namespace
}  // namespace sealrun::platform::crypto
