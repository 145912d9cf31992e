#include "platform/crypto/ChainCheck.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/testsupport/TestCertificates.h"

namespace sealrun::platform::crypto {
namespace {

using sealrun::testing::MakeIssuedForTesting;
using sealrun::testing::MakeRevocationListForTesting;
using sealrun::testing::MakeSelfSignedForTesting;
using sealrun::testing::TestCertificateOptions;
using sealrun::testing::TestIdentity;

TestIdentity MakeCa(const char* name) {
  TestCertificateOptions options;
  options.commonName = name;
  options.isCa = true;
  options.freshKey = true;
  options.serial = 1;
  return MakeSelfSignedForTesting(options);
}

Certificate Parse(const TestIdentity& identity) { return Certificate::FromDer(identity.certificateDer).Value(); }

// One CA, one leaf, shared by the cases (key generation is slow).
class ChainCheckTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ca = std::make_unique<TestIdentity>(MakeCa("Sealrun Root"));
    TestCertificateOptions leafOptions;
    leafOptions.serial = 0x2001;
    leafOptions.notAfterOffset = 30LL * 24 * 3600;
    leaf = std::make_unique<TestIdentity>(MakeIssuedForTesting(*ca, leafOptions));
  }
  static void TearDownTestSuite() {
    ca.reset();
    leaf.reset();
  }
  static std::unique_ptr<TestIdentity> ca;
  static std::unique_ptr<TestIdentity> leaf;
};
std::unique_ptr<TestIdentity> ChainCheckTest::ca;
std::unique_ptr<TestIdentity> ChainCheckTest::leaf;

TEST_F(ChainCheckTest, LeafChainsToItsRootOnly) {
  const Certificate root = Parse(*ca);
  const Certificate certificate = Parse(*leaf);
  const Certificate roots[] = {root};
  EXPECT_EQ(VerifyChain(certificate, roots).status, ChainStatus::Valid);
  EXPECT_EQ(VerifyChain(root, roots).status, ChainStatus::Valid) << "a root is valid against itself";

  const Certificate otherRoot = Parse(MakeCa("Other Root"));
  const Certificate wrongRoots[] = {otherRoot};
  const ChainResult untrusted = VerifyChain(certificate, wrongRoots);
  EXPECT_EQ(untrusted.status, ChainStatus::UntrustedRoot);
  EXPECT_FALSE(untrusted.detail.empty());
  EXPECT_EQ(VerifyChain(certificate, {}).status, ChainStatus::UntrustedRoot);

  // Same name as the real root, different key: the leaf's signature does not verify.
  const Certificate impostor = Parse(MakeCa("Sealrun Root"));
  const Certificate impostorRoots[] = {impostor};
  EXPECT_EQ(VerifyChain(certificate, impostorRoots).status, ChainStatus::UntrustedRoot);
}

TEST_F(ChainCheckTest, ValidityPeriodIsCheckedAtTheGivenTime) {
  const Certificate certificate = Parse(*leaf);
  const Certificate roots[] = {Parse(*ca)};
  ChainCheckOptions options;
  options.at = std::time(nullptr) + 60LL * 24 * 3600;
  EXPECT_EQ(VerifyChain(certificate, roots, {}, options).status, ChainStatus::Expired);
  options.at = std::time(nullptr) - 2 * 3600;
  EXPECT_EQ(VerifyChain(certificate, roots, {}, options).status, ChainStatus::NotYetValid);
}

TEST_F(ChainCheckTest, RevocationLists) {
  const Certificate certificate = Parse(*leaf);
  const Certificate roots[] = {Parse(*ca)};
  ChainCheckOptions options;

  const Bytes clean[] = {MakeRevocationListForTesting(*ca, {0x5555})};
  options.revocationLists = clean;
  EXPECT_EQ(VerifyChain(certificate, roots, {}, options).status, ChainStatus::Valid);

  const Bytes revoking[] = {MakeRevocationListForTesting(*ca, {0x5555, 0x2001})};
  options.revocationLists = revoking;
  EXPECT_EQ(VerifyChain(certificate, roots, {}, options).status, ChainStatus::Revoked);

  const Bytes stale[] = {MakeRevocationListForTesting(*ca, {}, -60)};
  options.revocationLists = stale;
  EXPECT_EQ(VerifyChain(certificate, roots, {}, options).status, ChainStatus::BadRevocationList);

  const Bytes otherIssuer[] = {MakeRevocationListForTesting(MakeCa("Other Root"), {})};
  options.revocationLists = otherIssuer;
  EXPECT_EQ(VerifyChain(certificate, roots, {}, options).status, ChainStatus::NoRevocationList);

  const Bytes garbage[] = {Bytes{0x30, 0x03, 0x01, 0x01, 0x00}};
  options.revocationLists = garbage;
  EXPECT_EQ(VerifyChain(certificate, roots, {}, options).status, ChainStatus::BadRevocationList);
}

TEST(ChainCheckIntermediateTest, IntermediatesCompleteTheChain) {
  const TestIdentity root = MakeCa("Root");
  TestCertificateOptions middleOptions;
  middleOptions.commonName = "Intermediate";
  middleOptions.isCa = true;
  middleOptions.serial = 2;
  const TestIdentity middle = MakeIssuedForTesting(root, middleOptions);
  const TestIdentity leaf = MakeIssuedForTesting(middle);
  const Certificate roots[] = {Parse(root)};
  const Certificate intermediates[] = {Parse(middle)};
  EXPECT_EQ(VerifyChain(Parse(leaf), roots, intermediates).status, ChainStatus::Valid);
  EXPECT_EQ(VerifyChain(Parse(leaf), roots).status, ChainStatus::UntrustedRoot);
}

}  // namespace
}  // namespace sealrun::platform::crypto
