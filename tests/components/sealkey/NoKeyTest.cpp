// Without a usable key, whether none is inserted or its key.xml is damaged, the key answers as an empty
// slot: no serial, no seals, every PIN refused, nothing remembered.
#include <gtest/gtest.h>

#include "tests/components/sealkey/SealKeyFixture.h"

namespace sealrun::components::sealkey::testing {
namespace {

using NoKeyTest = SealKeyTest;

void ExpectEmptySlot(const ComPtr<IDispatch>& key) {
  ASSERT_TRUE(key);
  Method(key, u"WebCreateKeyObject");
  Method(key, u"WebOpenKeyObject");
  const Variant serial = Method(key, u"WebGetKeySerialNumber");
  EXPECT_EQ(serial.Type(), VT_BSTR);
  EXPECT_EQ(Text(serial), u"");
  Method(key, u"WebLoadSignatureEx", {Variant(true), Variant(-1)});
  EXPECT_EQ(Get(key, u"SignCount").AsInt(), 0);
  Variant header;
  EXPECT_TRUE(FAILED(InvokeByName(key.Get(), u"HeadInformations", DISPATCH_PROPERTYGET, {Variant(0)}, header.Out())));
  EXPECT_NE(Method(key, u"VerifyPin", {Variant(kDemoPin)}).AsInt().value_or(0), 0);
  Variant written(0);
  EXPECT_TRUE(FAILED(InvokeByName(key.Get(), u"WebWritePin", DISPATCH_METHOD, {Variant(kDemoPin)}, written.Out())));
  EXPECT_EQ(Method(key, u"WebExistsGlobalPinTag").AsInt(), 0);
  EXPECT_EQ(Text(Method(key, u"WebReadPin")), u"");
  Method(key, u"WebDeleteKeyObject");
  EXPECT_EQ(platform::crypto::KeyStore::Instance().Size(), 0u);
}

TEST_F(NoKeyTest, NoKeyFolder) {
  std::filesystem::remove_all(KeyDir());
  ExpectEmptySlot(CreateKey());
}

TEST_F(NoKeyTest, DamagedKeyXmlReadsAsNoKey) {
  const std::string good = sealrun::testing::ReadFileBytes(KeyDir() / "key.xml");
  auto replaced = [&](const std::string& from, const std::string& to) {
    std::string xml = good;
    const size_t at = xml.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) xml.replace(at, from.size(), to);
    return xml;
  };
  const std::pair<const char*, std::string> damages[] = {
      {"cut short", good.substr(0, good.size() / 2)},
      {"not XML", std::string("\x89PNG\r\n\x1a\n", 8)},
      {"empty", ""},
      {"other version", replaced("version=\"1\"", "version=\"2\"")},
      {"no serial", replaced("<Serial>ZQ-DEMO-0001</Serial>", "")},
      {"serial with a line break", replaced("ZQ-DEMO-0001", "ZQ-DEMO&#10;0001")},
      {"no PIN verifier", replaced("<Pin ", "<NoPin ").replace(replaced("<Pin ", "<NoPin ").find("</Pin>"), 6, "</NoPin>")},
      {"other KDF", replaced("PBKDF2-HMAC-SHA256", "PBKDF2-HMAC-SHA1")},
      {"no iterations", replaced("iterations=\"600000\"", "iterations=\"0\"")},
      {"endless iterations", replaced("iterations=\"600000\"", "iterations=\"4000000000\"")},
      {"bad salt", replaced("salt=\"", "salt=\"XY")},
  };
  for (const auto& [what, xml] : damages) {
    SCOPED_TRACE(what);
    sealrun::testing::WriteFileBytes(KeyDir() / "key.xml", xml);
    ExpectEmptySlot(CreateKey());
  }
}

TEST_F(NoKeyTest, KeyRemovedIsSeenByTheNextInstance) {
  EXPECT_EQ(Get(CreateKey(), u"SignCount").AsInt(), 4);
  std::filesystem::remove(KeyDir() / "key.xml");
  ExpectEmptySlot(CreateKey());
}

}  // namespace
}  // namespace sealrun::components::sealkey::testing
