// How a run's files are signed, chosen without the dialog: every combination of signature mode,
// DigitalSignOnline and signer certificate that leads to a different signer, and what each choice sets in
// the stamping inputs.
#include <gtest/gtest.h>

#include <variant>

#include "seal/SignerCertificate.h"
#include "signing/SignerChoice.h"
#include "tests/testsupport/TestCertificates.h"

namespace sealrun::signing {
namespace {

using platform::crypto::Certificate;

const SealRecordFields kSeal{u"公章", u"单位", u"张三", u"SEAL-7"};

class SignerChoiceTest : public ::testing::Test {
 protected:
  SignerChoiceTest() {
    certificate_ = Certificate::FromDer(sealrun::testing::SharedTestIdentity().certificateDer).Value();
    settings_.webUrl = u"http://signing.example/tramex";
    settings_.cspName = u"Demo CSP";
  }

  // Chooses for `mode`, online or not, with or without the key's certificate; counts the lookups.
  SignerChoice Choose(std::u16string_view mode, bool online, bool withCertificate,
                      std::optional<SealRecordFields> seal = kSeal) {
    config::PublicSettings settings = settings_;
    settings.digitalSignOnline = online;
    return ChooseSigner({config::SignatureMode(mode), settings,
                         [this, withCertificate](std::u16string_view provider) -> std::optional<Certificate> {
                           lookups_.emplace_back(provider);
                           if (!withCertificate) return std::nullopt;
                           return certificate_;
                         },
                         u"KEY-1", std::move(seal)});
  }

  std::optional<Certificate> certificate_;
  config::PublicSettings settings_;
  std::vector<std::u16string> lookups_;
};

TEST_F(SignerChoiceTest, SealAnnotationsAlwaysTakeTheSignedMessageAndNeverAskForTheCertificate) {
  for (const char16_t* mode : {u"0", u"2", u"", u" 1", u"01"}) {
    for (const bool online : {false, true}) {
      for (const bool withCertificate : {false, true}) {
        const SignerChoice choice = Choose(mode, online, withCertificate);
        const auto* message = std::get_if<SealMessageSigning>(&choice);
        ASSERT_NE(message, nullptr);
        EXPECT_EQ(message->keySerial, u"KEY-1");
        EXPECT_EQ(message->sealSerial, u"SEAL-7");
      }
    }
  }
  EXPECT_TRUE(lookups_.empty()) << "the certificate library is not asked for a seal-annotation run";
}

TEST_F(SignerChoiceTest, SignatureFieldsAreSignedWithTheKeysCertificate) {
  const SignerChoice choice = Choose(u"1", false, true);
  const auto* local = std::get_if<CertificateSigning>(&choice);
  ASSERT_NE(local, nullptr);
  EXPECT_EQ(local->certificateDer, sealrun::testing::SharedTestIdentity().certificateDer);
  EXPECT_EQ(local->signerName, u"Sealrun Test Signer");
  EXPECT_EQ(lookups_, std::vector<std::u16string>{u"Demo CSP"}) << "asked once, with the CSPName setting";
}

TEST_F(SignerChoiceTest, OnlineTheServerSignsWhetherOrNotTheKeyHasACertificate) {
  for (const bool withCertificate : {true, false}) {
    const SignerChoice choice = Choose(u"1", true, withCertificate);
    const auto* server = std::get_if<ServerSigning>(&choice);
    ASSERT_NE(server, nullptr) << withCertificate;
    EXPECT_EQ(server->request.webUrl, u"http://signing.example/tramex");
    EXPECT_EQ(server->request.keySerial, u"KEY-1");
    EXPECT_EQ(server->request.sealSerial, u"SEAL-7");
  }
  // The key is still consulted, as before any signature-field run.
  EXPECT_EQ(lookups_.size(), 2u);
  // A seal that names no record sends an empty seal serial.
  const SignerChoice unnamed = Choose(u"1", true, false, std::nullopt);
  ASSERT_TRUE(std::holds_alternative<ServerSigning>(unnamed));
  EXPECT_EQ(std::get<ServerSigning>(unnamed).request.sealSerial, u"");
}

TEST_F(SignerChoiceTest, WithoutCertificateAndOfflineTheRunIsRefused) {
  EXPECT_TRUE(std::holds_alternative<NoSignerCertificate>(Choose(u"1", false, false)));
  // No lookup at all counts as no certificate.
  EXPECT_TRUE(std::holds_alternative<NoSignerCertificate>(
      ChooseSigner({config::SignatureMode(u"1"), settings_, nullptr, u"KEY-1", std::nullopt})));
}

TEST_F(SignerChoiceTest, EachChoiceSetsOnlyItsOwnSigner) {
  platform::com::Variant certificateValue;
  StampInputs local;
  const SignerChoice byCertificate = Choose(u"1", false, true);
  ApplySigner(byCertificate, certificateValue, local);
  EXPECT_EQ(std::vector<uint8_t>(local.certificate.begin(), local.certificate.end()),
            sealrun::testing::SharedTestIdentity().certificateDer);
  EXPECT_EQ(local.signerName, u"Sealrun Test Signer");
  EXPECT_FALSE(local.signOnline);
  EXPECT_FALSE(local.signSealMessage);

  StampInputs online;
  ApplySigner(Choose(u"1", true, false), certificateValue, online);
  EXPECT_TRUE(online.signOnline);
  EXPECT_TRUE(online.certificate.empty());
  EXPECT_FALSE(online.signSealMessage);

  StampInputs annotations;
  ApplySigner(Choose(u"0", false, false), certificateValue, annotations);
  EXPECT_TRUE(annotations.signSealMessage);
  EXPECT_FALSE(annotations.signOnline);
  EXPECT_TRUE(annotations.certificate.empty());

  StampInputs refused;
  ApplySigner(Choose(u"1", false, false), certificateValue, refused);
  EXPECT_FALSE(refused.signOnline);
  EXPECT_FALSE(refused.signSealMessage);
  EXPECT_TRUE(refused.certificate.empty());
  EXPECT_TRUE(refused.signerName.empty());
}

}  // namespace
}  // namespace sealrun::signing
