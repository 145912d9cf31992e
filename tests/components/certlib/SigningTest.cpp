// CrySignMessage and SignMessage as the system drives them when it stores a signed seal fingerprint:
// SetParams, CardPin, GetContainer, CertContext, GetCertificate, CrySignMessage, SignMessage.
#include <gtest/gtest.h>

#include "platform/com/InvokeByName.h"
#include "platform/crypto/Cms.h"
#include "platform/crypto/PinTries.h"
#include "platform/text/Utf.h"
#include "tests/components/certlib/CertLibraryTestSupport.h"
#include "tests/testsupport/ToolRun.h"

namespace sealrun::components::certlib::testing {
namespace {

using platform::crypto::AsBytes;
using platform::crypto::CmsVerify;
using platform::text::Utf8ToUtf16;

constexpr char16_t kFingerprint[] = u"Qm9vazEyMzQ1Njc4OTAxMjM0NTY3";  // 28 symbols, as the system signs

class SigningTest : public CertLibraryTest {
 protected:
  void SetUp() override {
    WriteKey(Pki().signer);
    library_ = Create();
    ASSERT_TRUE(library_);
  }
  // The system's sequence up to the signing call; returns CrySignMessage's answer.
  std::int16_t SignAsTheSystemDoes(std::u16string_view pin, std::u16string_view data, std::int32_t length) {
    SetParams(library_.Get(), Utf8ToUtf16(kKeySerial), u"SEAL-0001");
    PutCardPin(library_.Get(), pin);
    EXPECT_NE(GetContainer(library_.Get()), 0);
    GetCertificate(library_.Get(), CertContext(library_.Get()));
    return CrySignMessage(library_.Get(), data, length);
  }

  com::ComPtr<com::IDispatch> library_;
};

TEST_F(SigningTest, RightPinGivesAnAttachedSignedDataThatVerifies) {
  const std::u16string fingerprint = kFingerprint;
  ASSERT_NE(SignAsTheSystemDoes(Utf8ToUtf16(kPin), fingerprint, static_cast<std::int32_t>(fingerprint.size())), 0);
  const std::u16string text = SignMessage(library_.Get());
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.find_first_of(u"\r\n"), std::u16string::npos) << "one line of Base64";
  const auto der = DecodeBase64(text);
  ASSERT_FALSE(der.empty());

  const std::string data = Utf8(fingerprint);
  const auto result = CmsVerify(der, {AsBytes(data)});
  EXPECT_TRUE(result.Valid()) << result.problem;
  ASSERT_TRUE(result.signer);
  EXPECT_EQ(result.signer->Der(), Pki().signer.certificateDer);
  EXPECT_FALSE(CmsVerify(der, {AsBytes(std::string_view("another text"))}).Valid());

  // The message carries its data: openssl takes it from the message alone and checks it up to the root.
  const std::filesystem::path folder = KeyDir().parent_path();
  sealrun::testing::WriteFileBytes(folder / "message.der", std::string(der.begin(), der.end()));
  sealrun::testing::WriteFileBytes(folder / "root.pem", Pki().root.certificatePem);
  const std::string command = "openssl cms -verify -binary -inform DER -in '" + (folder / "message.der").string() +
                              "' -CAfile '" + (folder / "root.pem").string() + "' -purpose any -out '" +
                              (folder / "content.txt").string() + "'";
  const sealrun::testing::ToolRun verified = sealrun::testing::RunTool(command);
  ASSERT_EQ(verified.exitCode, 0) << verified.output;
  EXPECT_EQ(sealrun::testing::ReadFileBytes(folder / "content.txt"), data);
}

TEST_F(SigningTest, WrongOrEmptyPinSignsNothingAndTheRightOneStillWorks) {
  const std::u16string fingerprint = kFingerprint;
  const auto length = static_cast<std::int32_t>(fingerprint.size());
  EXPECT_EQ(SignAsTheSystemDoes(u"135790", fingerprint, length), 0);
  EXPECT_EQ(SignMessage(library_.Get()), u"");
  EXPECT_EQ(SignAsTheSystemDoes(u"", fingerprint, length), 0);
  EXPECT_EQ(SignMessage(library_.Get()), u"");
  ASSERT_NE(SignAsTheSystemDoes(Utf8ToUtf16(kPin), fingerprint, length), 0);
  EXPECT_NE(SignMessage(library_.Get()), u"");
  PutCardPin(library_.Get(), u"000000");
  EXPECT_EQ(CrySignMessage(library_.Get(), fingerprint, length), 0);
  EXPECT_EQ(SignMessage(library_.Get()), u"") << "a failed signing leaves no earlier message behind";
}

// Opening the key with a PIN counts as the key's own PIN check does, in the same counter, and a locked key
// signs nothing, not even with a key unlocked a moment before.
TEST_F(SigningTest, PinsAreCountedWithTheKeysAndALockedKeySignsNothing) {
  const std::u16string fingerprint = kFingerprint;
  const auto length = static_cast<std::int32_t>(fingerprint.size());
  const platform::crypto::PinTries tries(KeyDir());
  EXPECT_EQ(SignAsTheSystemDoes(u"135790", fingerprint, length), 0);
  EXPECT_EQ(SignAsTheSystemDoes(u"", fingerprint, length), 0);
  EXPECT_EQ(tries.Count().wrongPins, 1) << "the wrong PIN counts, the empty one is not tried";
  ASSERT_NE(SignAsTheSystemDoes(Utf8ToUtf16(kPin), fingerprint, length), 0);
  EXPECT_EQ(tries.Count().wrongPins, 0);

  sealrun::testing::WriteFileBytes(tries.File(), "wrong-pins 10\nwrong-unlock-codes 0\nlast-wrong 0\n");
  library_ = Create();
  EXPECT_EQ(SignAsTheSystemDoes(Utf8ToUtf16(kPin), fingerprint, length), 0);
  EXPECT_EQ(SignMessage(library_.Get()), u"");
  std::filesystem::remove(tries.File());
  library_ = Create();
  EXPECT_NE(SignAsTheSystemDoes(Utf8ToUtf16(kPin), fingerprint, length), 0);
}

// A batch signs one message per document: the key unlocked for the first serves the next ones, but only
// while the file and the PIN are the same.
TEST_F(SigningTest, AKeyUnlockedOnceServesOnlyTheSameFileAndPin) {
  const std::u16string fingerprint = kFingerprint;
  const auto length = static_cast<std::int32_t>(fingerprint.size());
  for (int document = 0; document < 3; ++document) {
    library_ = Create();
    ASSERT_NE(SignAsTheSystemDoes(Utf8ToUtf16(kPin), fingerprint, length), 0) << "document " << document;
  }
  library_ = Create();
  EXPECT_EQ(SignAsTheSystemDoes(u"135790", fingerprint, length), 0) << "a wrong PIN after a right one";

  // The file now holds another key under the same PIN: it is unlocked anew and does not match the
  // certificate the signing began with.
  sealrun::testing::TestCertificateOptions options;
  options.password = Pki().signer.password;
  const sealrun::testing::TestIdentity other = sealrun::testing::MakeIssuedForTesting(Pki().root, options);
  library_ = Create();
  SetParams(library_.Get(), Utf8ToUtf16(kKeySerial), u"SEAL-0001");
  PutCardPin(library_.Get(), Utf8ToUtf16(kPin));
  ASSERT_NE(GetContainer(library_.Get()), 0);
  GetCertificate(library_.Get(), CertContext(library_.Get()));
  sealrun::testing::WriteFileBytes(KeyDir() / "signer.p12", std::string(other.pkcs12.begin(), other.pkcs12.end()));
  EXPECT_EQ(CrySignMessage(library_.Get(), fingerprint, length), 0);
}

TEST_F(SigningTest, LengthCountsCharactersOfTheData) {
  ASSERT_NE(SignAsTheSystemDoes(Utf8ToUtf16(kPin), u"ABCDEF", 3), 0);
  const auto der = DecodeBase64(SignMessage(library_.Get()));
  EXPECT_TRUE(CmsVerify(der, {AsBytes(std::string_view("ABC"))}).Valid());
  EXPECT_FALSE(CmsVerify(der, {AsBytes(std::string_view("ABCDEF"))}).Valid());

  ASSERT_NE(CrySignMessage(library_.Get(), u"ABCDEF", 600), 0) << "a length beyond the text takes the whole text";
  EXPECT_TRUE(CmsVerify(DecodeBase64(SignMessage(library_.Get())), {AsBytes(std::string_view("ABCDEF"))}).Valid());

  EXPECT_EQ(CrySignMessage(library_.Get(), u"ABCDEF", 0), 0);
  EXPECT_EQ(CrySignMessage(library_.Get(), u"ABCDEF", -5), 0);
  EXPECT_EQ(CrySignMessage(library_.Get(), u"", 0), 0);
}

TEST_F(SigningTest, NothingIsSignedWithoutTheRightKeyAndCertificate) {
  const std::u16string fingerprint = kFingerprint;
  const auto length = static_cast<std::int32_t>(fingerprint.size());
  PutCardPin(library_.Get(), Utf8ToUtf16(kPin));
  EXPECT_EQ(CrySignMessage(library_.Get(), fingerprint, length), 0) << "no container opened";

  SetParams(library_.Get(), u"ZQ-OTHER-KEY", u"SEAL-0001");
  ASSERT_NE(GetContainer(library_.Get()), 0);
  EXPECT_EQ(CrySignMessage(library_.Get(), fingerprint, length), 0) << "the key is not the one the signing began with";
  SetParams(library_.Get(), u"", u"");
  EXPECT_NE(CrySignMessage(library_.Get(), fingerprint, length), 0) << "no key serial given: the inserted key signs";

  GetCertificate(library_.Get(), Utf8ToUtf16(Pki().root.certificatePem));
  EXPECT_EQ(CrySignMessage(library_.Get(), fingerprint, length), 0) << "a selected certificate the key does not hold";
  GetCertificate(library_.Get(), u"garbage");
  EXPECT_NE(CrySignMessage(library_.Get(), fingerprint, length), 0) << "no selection: the container's signer";

  std::filesystem::remove(KeyDir() / "signer.p12");
  EXPECT_EQ(CrySignMessage(library_.Get(), fingerprint, length), 0) << "no private key file";
  sealrun::testing::WriteFileBytes(KeyDir() / "signer.p12", "not a PKCS#12 file");
  EXPECT_EQ(CrySignMessage(library_.Get(), fingerprint, length), 0);
}

TEST_F(SigningTest, GarbageArgumentsAreAnsweredWithoutSigning) {
  PutCardPin(library_.Get(), Utf8ToUtf16(kPin));
  ASSERT_NE(GetContainer(library_.Get()), 0);
  const auto answer =
      Call(library_.Get(), u"CrySignMessage", com::DISPATCH_METHOD, {com::Variant(), com::Variant(u"many")});
  EXPECT_EQ(Low16(answer), 0);
  com::Variant result;
  EXPECT_EQ(com::InvokeByName(library_.Get(), u"CrySignMessage", com::DISPATCH_METHOD, {com::Variant(u"data")},
                              result.Out()),
            com::DISP_E_BADPARAMCOUNT);
  Call(library_.Get(), u"GetCertificate", com::DISPATCH_METHOD, {com::Variant(7)});
  EXPECT_EQ(SignMessage(library_.Get()), u"");
}

TEST_F(SigningTest, TracesNeverShowThePin) {
  sealrun::testing::ScopedEnv debug("SEALRUN_DEBUG", "1");
  const std::u16string fingerprint = kFingerprint;
  const auto length = static_cast<std::int32_t>(fingerprint.size());
  ::testing::internal::CaptureStderr();
  SignAsTheSystemDoes(u"135790", fingerprint, length);
  SignAsTheSystemDoes(Utf8ToUtf16(kPin), fingerprint, length);
  const std::string traces = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(traces.find("PIN does not open"), std::string::npos) << "traces are on: " << traces;
  EXPECT_EQ(traces.find("135790"), std::string::npos);
  EXPECT_EQ(traces.find(kPin), std::string::npos);
}

}  // namespace
}  // namespace sealrun::components::certlib::testing
