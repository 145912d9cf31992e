// The PIN as the signing dialog uses it: the check that unlocks the signer's private key, and the
// remembered PIN written, found, read and forgotten, bound to the key's serial.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/crypto/Certificate.h"
#include "tests/components/sealkey/SealKeyFixture.h"

namespace sealrun::components::sealkey::testing {
namespace {

using PinTest = SealKeyTest;

platform::crypto::Certificate DemoSigner() {
  const auto certificate =
      platform::crypto::Certificate::FromPem(sealrun::testing::ReadFileBytes(kDemoKey / "signer.pem"));
  EXPECT_TRUE(certificate.Ok());
  return certificate.Value();
}

// What the system does to remember the PIN: WebWritePin, and only when it goes through, the tag.
HRESULT RememberPin(const ComPtr<IDispatch>& key, std::u16string_view pin) {
  Variant result(0);
  const HRESULT hr = InvokeByName(key.Get(), u"WebWritePin", DISPATCH_METHOD, {Variant(pin)}, result.Out());
  if (SUCCEEDED(hr)) Method(key, u"WebAddGlobalPinTag");
  return hr;
}

// What the system does to recall it: the tag's low 16 bits, then WebReadPin.
std::u16string RecallPin(const ComPtr<IDispatch>& key) {
  const Variant exists = Method(key, u"WebExistsGlobalPinTag");
  if ((exists.AsInt().value_or(0) & 0xFFFF) == 0) return {};
  return Text(Method(key, u"WebReadPin"));
}

TEST_F(PinTest, RightPinIsAcceptedAndUnlocksTheSignerKey) {
  const auto& store = platform::crypto::KeyStore::Instance();
  ComPtr<IDispatch> key = CreateKey();
  ASSERT_TRUE(key);
  for (const char16_t* wrong : {u"654321", u"", u"123456 ", u"12345"}) {
    const Variant refused = Method(key, u"VerifyPin", {Variant(wrong)});
    EXPECT_NE(refused.AsInt().value_or(0), 0) << "a wrong PIN is refused";
  }
  EXPECT_EQ(store.Size(), 0u) << "a wrong PIN never unlocks the private key";

  const Variant accepted = Method(CreateKey(), u"VerifyPin", {Variant(kDemoPin)});
  EXPECT_EQ(accepted.Type(), VT_I4);
  EXPECT_EQ(accepted.AsInt(), 0);
  const auto signer = DemoSigner();
  EXPECT_TRUE(store.FindPrivateKey(signer).has_value()) << "the signer's key is in the key store";
}

TEST_F(PinTest, RememberedPinIsWrittenFoundReadAndForgotten) {
  EXPECT_EQ(RecallPin(CreateKey()), u"") << "nothing remembered yet";
  EXPECT_EQ(Method(CreateKey(), u"WebExistsGlobalPinTag").AsInt(), 0);

  ASSERT_EQ(RememberPin(CreateKey(), kDemoPin), S_OK);
  EXPECT_EQ(RecallPin(CreateKey()), kDemoPin) << "a fresh instance recalls what another one remembered";
  struct stat info {};
  ASSERT_EQ(stat(RememberedPinFile().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u) << "only the user may read the remembered PIN";
  for (const auto& entry : std::filesystem::directory_iterator(RememberedPinFile().parent_path()))
    EXPECT_EQ(entry.path().filename(), "remembered-pin") << "no temporary file is left behind";

  EXPECT_TRUE(FAILED(RememberPin(CreateKey(), u"000000"))) << "a PIN the key refuses is not written";
  EXPECT_EQ(RecallPin(CreateKey()), kDemoPin) << "and the remembered PIN stays as it was";

  Method(CreateKey(), u"WebDelGlobalPinTag");
  EXPECT_EQ(Method(CreateKey(), u"WebExistsGlobalPinTag").AsInt(), 0);
  EXPECT_EQ(Text(Method(CreateKey(), u"WebReadPin")), u"");
}

// The remembered PIN is encrypted under a key kept in the seal key's folder: no file holds it in clear or
// in hex, the store alone gives nothing, and a PIN kept in clear by an earlier store is never served.
TEST_F(PinTest, TheRememberedPinIsInNoFileInClearOrHex) {
  const std::string serialHex = "5A512D44454D4F2D30303031";  // "ZQ-DEMO-0001"
  std::filesystem::create_directories(RememberedPinFile().parent_path());
  sealrun::testing::WriteFileBytes(RememberedPinFile(), serialHex + " 313233343536\n");
  EXPECT_EQ(RecallPin(CreateKey()), u"") << "a PIN kept in clear is not served";

  ASSERT_EQ(RememberPin(CreateKey(), kDemoPin), S_OK);
  ASSERT_EQ(RecallPin(CreateKey()), kDemoPin);
  const std::string utf16(reinterpret_cast<const char*>(kDemoPin), 12);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(Temp().Path())) {
    if (!entry.is_regular_file()) continue;
    const std::string bytes = sealrun::testing::ReadFileBytes(entry.path());
    for (const std::string& form : {std::string("123456"), std::string("313233343536"), utf16})
      EXPECT_EQ(bytes.find(form), std::string::npos) << entry.path() << " holds the PIN";
  }
  EXPECT_EQ(sealrun::testing::ReadFileBytes(RememberedPinFile()).find(serialHex + " 3132"), std::string::npos)
      << "the entry kept in clear is gone";
  struct stat info {};
  ASSERT_EQ(stat((KeyDir() / "remembered-pin.key").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  // The store without the seal key's folder (a copied profile) gives no PIN.
  std::filesystem::remove(KeyDir() / "remembered-pin.key");
  EXPECT_EQ(RecallPin(CreateKey()), u"");
  EXPECT_EQ(Method(CreateKey(), u"WebExistsGlobalPinTag").AsInt(), 0);
}

TEST_F(PinTest, TagWithoutAnAcceptedWriteRemembersNothing) {
  ComPtr<IDispatch> key = CreateKey();
  EXPECT_NE(Method(key, u"WebAddGlobalPinTag").AsInt().value_or(0), 0);
  EXPECT_EQ(RecallPin(key), u"");
  EXPECT_FALSE(std::filesystem::exists(RememberedPinFile()));
}

TEST_F(PinTest, AnotherKeyNeverSeesTheRememberedPin) {
  ASSERT_EQ(RememberPin(CreateKey(), kDemoPin), S_OK);

  // The same key material under another serial stands for another key.
  std::string xml = sealrun::testing::ReadFileBytes(KeyDir() / "key.xml");
  const std::string serial = "ZQ-DEMO-0001";
  const std::string original = xml;
  xml.replace(xml.find(serial), serial.size(), "ZQ-DEMO-0002");
  sealrun::testing::WriteFileBytes(KeyDir() / "key.xml", xml);
  EXPECT_EQ(Text(Method(CreateKey(), u"WebGetKeySerialNumber")), u"ZQ-DEMO-0002");
  EXPECT_EQ(RecallPin(CreateKey()), u"");
  Method(CreateKey(), u"WebDelGlobalPinTag");

  sealrun::testing::WriteFileBytes(KeyDir() / "key.xml", original);
  EXPECT_EQ(RecallPin(CreateKey()), kDemoPin) << "forgetting on one key leaves the other key's PIN";
}

TEST_F(PinTest, CorruptPkcs12AcceptsThePinButUnlocksNoCertificate) {
  sealrun::testing::WriteFileBytes(KeyDir() / "signer.p12", std::string(512, '\x30'));
  EXPECT_EQ(Method(CreateKey(), u"VerifyPin", {Variant(kDemoPin)}).AsInt(), 0);
  EXPECT_EQ(platform::crypto::KeyStore::Instance().Size(), 0u);

  std::filesystem::remove(KeyDir() / "signer.p12");
  EXPECT_EQ(Method(CreateKey(), u"VerifyPin", {Variant(kDemoPin)}).AsInt(), 0);
  EXPECT_EQ(platform::crypto::KeyStore::Instance().Size(), 0u);
}

TEST_F(PinTest, TracesAndErrorTextsNeverCarryThePin) {
  const sealrun::testing::ScopedEnv debug("SEALRUN_DEBUG", "1");
  ::testing::internal::CaptureStderr();
  ComPtr<IDispatch> key = CreateKey();
  Method(key, u"VerifyPin", {Variant(u"987654")});
  Method(key, u"VerifyPin", {Variant(kDemoPin)});
  EXCEPINFO error{};
  Variant result(0);
  EXPECT_TRUE(FAILED(
      InvokeByName(key.Get(), u"WebWritePin", DISPATCH_METHOD, {Variant(u"987654")}, result.Out(), &error)));
  const Bstr description = Bstr::Attach(error.bstrDescription);
  SysFreeString(error.bstrSource);
  SysFreeString(error.bstrHelpFile);
  ASSERT_EQ(RememberPin(key, kDemoPin), S_OK);
  EXPECT_EQ(RecallPin(key), kDemoPin);
  const std::string traces = ::testing::internal::GetCapturedStderr();

  EXPECT_NE(traces.find("PIN refused"), std::string::npos) << "the refusal is traced: " << traces;
  EXPECT_EQ(traces.find("987654"), std::string::npos) << traces;
  EXPECT_EQ(traces.find("123456"), std::string::npos) << traces;
  EXPECT_FALSE(description.View().empty());
  EXPECT_EQ(description.View().find(u"987654"), std::u16string_view::npos);
}

}  // namespace
}  // namespace sealrun::components::sealkey::testing
