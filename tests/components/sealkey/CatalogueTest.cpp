// The seal catalogue as the signing dialog reads it: serial, count, header objects in key order and
// pictures decoded to the stored bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/fs/Files.h"
#include "platform/text/Utf.h"
#include "tests/components/sealkey/SealKeyFixture.h"
#include "tests/testsupport/TempDir.h"

namespace sealrun::components::sealkey::testing {
namespace {

struct ExpectedSeal {
  std::u16string name;
  std::u16string unit;
  std::u16string user;
  std::u16string serial;
  std::u16string ext;
  const char* file;
};

const std::vector<ExpectedSeal>& DemoSeals() {
  static const std::vector<ExpectedSeal> seals{
      {u"演示公章", u"演示单位", u"演示签章人", u"DEMO-SEAL-0001", u".png", "seals/official.png"},
      {u"演示合同章", u"演示单位", u"演示签章人", u"DEMO-SEAL-0002", u".gif", "seals/contract.gif"},
      {u"演示财务章", u"演示单位财务部", u"演示会计", u"DEMO-SEAL-0003", u".jpg", "seals/finance.jpg"},
      {u"演示旧版章", u"演示单位", u"演示签章人", u"DEMO-SEAL-0004", u".bmp", "seals/legacy.bmp"},
  };
  return seals;
}

// The picture a header's ImgValue decodes to, as bytes from the first byte of the BSTR on.
std::string DecodedPicture(const ComPtr<IDispatch>& key, const Variant& imgValue) {
  const Variant picture = Method(key, u"DeCodeImgData", {imgValue});
  if (picture.Type() != VT_BSTR) return "<not a BSTR>";
  const BSTR bytes = picture.Get()->bstrVal;
  return std::string(reinterpret_cast<const char*>(bytes), SysStringLen(bytes));
}

std::vector<std::u16string> SealNames(const ComPtr<IDispatch>& key) {
  std::vector<std::u16string> names;
  const int32_t count = Get(key, u"SignCount").AsInt().value_or(-1);
  for (int32_t i = 0; i < count; ++i) {
    const Variant header = Get(key, u"HeadInformations", {Variant(i)});
    if (header.Type() != VT_DISPATCH) break;
    names.push_back(Text(Get(ComPtr<IDispatch>(header.Get()->pdispVal), u"SignName")));
  }
  return names;
}

using CatalogueTest = SealKeyTest;

TEST_F(CatalogueTest, DemoKeyServesEverySealInKeyOrderWithItsPicture) {
  ComPtr<IDispatch> key = CreateKey();
  ASSERT_TRUE(key);
  Method(key, u"WebCreateKeyObject");
  Method(key, u"WebOpenKeyObject");
  EXPECT_EQ(Text(Method(key, u"WebGetKeySerialNumber")), kDemoSerial);
  Method(key, u"WebLoadSignatureEx", {Variant(true), Variant(-1)});
  const Variant count = Get(key, u"SignCount");
  EXPECT_EQ(count.Type(), VT_I4);
  ASSERT_EQ(count.AsInt(), static_cast<int32_t>(DemoSeals().size()));

  for (int32_t i = 0; i < static_cast<int32_t>(DemoSeals().size()); ++i) {
    const ExpectedSeal& expected = DemoSeals()[static_cast<size_t>(i)];
    SCOPED_TRACE(platform::text::Utf16ToUtf8(expected.name));
    Method(key, u"WebLoadSignatureEx", {Variant(true), Variant(i)});
    const Variant headerValue = Get(key, u"HeadInformations", {Variant(i)});
    ASSERT_EQ(headerValue.Type(), VT_DISPATCH);
    const ComPtr<IDispatch> header(headerValue.Get()->pdispVal);
    EXPECT_EQ(Text(Get(header, u"SignName")), expected.name);
    EXPECT_EQ(Text(Get(header, u"SerialNumber")), expected.serial);
    EXPECT_EQ(Text(Get(header, u"UserName")), expected.user);
    EXPECT_EQ(Text(Get(header, u"UnitName")), expected.unit);
    EXPECT_EQ(Text(Get(header, u"SignExt")), expected.ext);

    const std::string stored = sealrun::testing::ReadFileBytes(KeyDir() / expected.file);
    const std::string decoded = DecodedPicture(key, Get(header, u"ImgValue"));
    EXPECT_EQ(decoded.size(), stored.size()) << "SysStringLen is the picture's byte count";
    EXPECT_TRUE(decoded == stored) << "the picture's bytes start at the BSTR's first byte";
  }
  Method(key, u"WebDeleteKeyObject");
}

TEST_F(CatalogueTest, RegistrationNamesTheClassAndUninstallRemovesIt) {
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(u"Sealrun.KeyObject", &clsid), S_OK);
  EXPECT_TRUE(clsid == kKeyObjectClsid);
  ASSERT_EQ(CLSIDFromProgID(u"Sealrun.KeyObject.1", &clsid), S_OK);
  EXPECT_TRUE(clsid == kKeyObjectClsid);

  void* module = dlopen(kModulePath, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr);
  const auto install = reinterpret_cast<DllInstallFunction>(dlsym(module, "DllInstall"));
  ASSERT_NE(install, nullptr);
  EXPECT_EQ(install(0, u"user"), S_OK);
  dlclose(module);
  ComPtr<IUnknown> unknown;
  EXPECT_EQ(CoCreateInstance(kKeyObjectClsid, nullptr, 0x17, IID_IUnknown, unknown.OutVoid()), REGDB_E_CLASSNOTREG);
}

TEST_F(CatalogueTest, UnknownIndexAndBadPictureTextFailWithoutAnswer) {
  ComPtr<IDispatch> key = CreateKey();
  ASSERT_TRUE(key);
  Variant result;
  EXPECT_TRUE(FAILED(InvokeByName(key.Get(), u"HeadInformations", DISPATCH_PROPERTYGET, {Variant(4)}, result.Out())));
  EXPECT_TRUE(FAILED(InvokeByName(key.Get(), u"HeadInformations", DISPATCH_PROPERTYGET, {Variant(-1)}, result.Out())));
  EXPECT_EQ(result.Type(), VT_EMPTY) << "a failed call leaves the result as it was";
  EXPECT_TRUE(FAILED(InvokeByName(key.Get(), u"DeCodeImgData", DISPATCH_METHOD, {Variant(u"not*base64")}, result.Out())));
  EXPECT_TRUE(FAILED(InvokeByName(key.Get(), u"DeCodeImgData", DISPATCH_METHOD, {Variant(u"QUJD=")}, result.Out())))
      << "a quantum of five symbols is not Base64";
  EXPECT_EQ(Method(key, u"WebLoadSignatureEx", {Variant(true), Variant(9)}).AsInt(), 3) << "no such seal";
}

TEST_F(CatalogueTest, MissingPictureLeavesOutOnlyThatSeal) {
  std::filesystem::remove(KeyDir() / "seals" / "contract.gif");
  const ComPtr<IDispatch> key = CreateKey();
  ASSERT_TRUE(key);
  EXPECT_EQ(SealNames(key), (std::vector<std::u16string>{u"演示公章", u"演示财务章", u"演示旧版章"}));
}

TEST_F(CatalogueTest, SealsNamingFilesOutsideTheKeyAreLeftOut) {
  // A picture outside the key folder, named by a relative path that climbs out and by an absolute one.
  const auto outside = Temp().Path() / "outside.png";
  std::filesystem::copy_file(KeyDir() / "seals" / "official.png", outside);
  std::string xml = sealrun::testing::ReadFileBytes(KeyDir() / "key.xml");
  const std::string official = "file=\"seals/official.png\"";
  const std::string contract = "file=\"seals/contract.gif\"";
  xml.replace(xml.find(official), official.size(), "file=\"../outside.png\"");
  xml.replace(xml.find(contract), contract.size(), "file=\"" + outside.string() + "\"");
  sealrun::testing::WriteFileBytes(KeyDir() / "key.xml", xml);
  const ComPtr<IDispatch> key = CreateKey();
  ASSERT_TRUE(key);
  EXPECT_EQ(SealNames(key), (std::vector<std::u16string>{u"演示财务章", u"演示旧版章"}));
}

TEST_F(CatalogueTest, ZqfSealsAreServedLikeAnyOther) {
  std::string xml = sealrun::testing::ReadFileBytes(KeyDir() / "key.xml");
  const std::string ext = "ext=\".jpg\"";
  xml.replace(xml.find(ext), ext.size(), "ext=\".ZQF\"");
  sealrun::testing::WriteFileBytes(KeyDir() / "key.xml", xml);
  const ComPtr<IDispatch> key = CreateKey();
  ASSERT_TRUE(key);
  const Variant header = Get(key, u"HeadInformations", {Variant(2)});
  ASSERT_EQ(header.Type(), VT_DISPATCH);
  EXPECT_EQ(Text(Get(ComPtr<IDispatch>(header.Get()->pdispVal), u"SignExt")), u".ZQF");
  EXPECT_EQ(Get(key, u"SignCount").AsInt(), 4);
}

}  // namespace
}  // namespace sealrun::components::sealkey::testing
