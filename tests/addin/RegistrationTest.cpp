// The module's registration: per-user through DllInstall("user"), the keys the host and containers read,
// and a clean removal.
#include "addin/ModuleRegistration.h"
#include "platform/com/ComRuntime.h"
#include "platform/com/Guid.h"
#include "platform/com/RegKey.h"
#include "tests/addin/HostFixture.h"

namespace sealrun::addin::testing {
namespace {

using com::RegKey;

std::optional<std::u16string> UserValue(const std::u16string& key, std::u16string_view name = {}) {
  RegKey opened;
  if (opened.Open(com::HKEY_CURRENT_USER, u"Software\\Classes\\" + key) != com::ERROR_SUCCESS) return std::nullopt;
  return opened.QueryString(name);
}

bool UserHas(const std::u16string& key) {
  RegKey opened;
  return opened.Open(com::HKEY_CURRENT_USER, u"Software\\Classes\\" + key) == com::ERROR_SUCCESS;
}

bool MachineHas(const std::u16string& key) {
  RegKey opened;
  return opened.Open(com::HKEY_LOCAL_MACHINE, u"Software\\Classes\\" + key) == com::ERROR_SUCCESS;
}

using Registration = AddinWorld;

TEST_F(Registration, UserInstallWritesBothClassesTheirControlKeysAndTheTypeLibrary) {
  ASSERT_EQ(InstallModule(true, u"USER"), com::S_OK);
  const std::u16string addin = u"CLSID\\" + com::FormatGuid(kSealrunPdfClsid);
  const std::u16string pane = u"CLSID\\" + com::FormatGuid(kBatchPaneClsid);
  const std::u16string modulePath = U16(std::filesystem::path(SEALRUN_ADDIN_MODULE_PATH));

  EXPECT_EQ(UserValue(addin), u"CSealrunPDF Class");
  EXPECT_EQ(UserValue(addin + u"\\InprocServer32"), modulePath);
  EXPECT_FALSE(UserValue(addin + u"\\InprocServer32", u"ThreadingModel").has_value()) << "main apartment";
  EXPECT_EQ(UserValue(addin + u"\\ProgID"), u"Velmarch.SealrunPDF.1");
  EXPECT_EQ(UserValue(addin + u"\\VersionIndependentProgID"), u"Velmarch.SealrunPDF");
  EXPECT_TRUE(UserHas(addin + u"\\Programmable"));
  EXPECT_EQ(UserValue(u"Velmarch.SealrunPDF\\CurVer"), u"Velmarch.SealrunPDF.1");
  EXPECT_EQ(UserValue(u"Velmarch.SealrunPDF.1\\CLSID"), com::FormatGuid(kSealrunPdfClsid));

  EXPECT_EQ(UserValue(pane), u"QPXBatchPane Class");
  EXPECT_EQ(UserValue(u"Sealrun.Pane\\CurVer"), u"Sealrun.Pane.1");
  EXPECT_TRUE(UserHas(pane + u"\\Control"));
  EXPECT_TRUE(UserHas(pane + u"\\Programmable"));
  EXPECT_EQ(UserValue(pane + u"\\ToolboxBitmap32"), modulePath + u", 108");
  EXPECT_EQ(UserValue(pane + u"\\MiscStatus"), u"0");
  EXPECT_EQ(UserValue(pane + u"\\MiscStatus\\1"), u"131473");

  const std::u16string library = u"TypeLib\\" + com::FormatGuid(kTypeLibraryId) + u"\\1.0";
  EXPECT_EQ(UserValue(library), u"SealrunPDFLib");
  EXPECT_EQ(UserValue(u"Interface\\" + com::FormatGuid(kICSealrunPdfIid)), u"ICSealrunPDF");

  EXPECT_FALSE(MachineHas(addin)) << "a per-user install leaves the machine hive alone";

  com::CLSID found{};
  ASSERT_EQ(com::CLSIDFromProgID(u"Sealrun.Pane", &found), com::S_OK);
  EXPECT_EQ(found, kBatchPaneClsid);

  ASSERT_EQ(InstallModule(false, u"user"), com::S_OK);
  EXPECT_FALSE(UserValue(addin).has_value());
  EXPECT_FALSE(UserValue(pane).has_value());
  EXPECT_FALSE(UserValue(u"Velmarch.SealrunPDF\\CurVer").has_value());
  EXPECT_FALSE(UserValue(library).has_value());
}

TEST_F(Registration, ADamagedRegistryIsRefusedWithoutACrash) {
  std::filesystem::create_directories(temp_ / "registry");
  sealrun::testing::WriteFileBytes(temp_ / "registry" / "HKEY_CURRENT_USER.reg", std::string(4096, '\xFF'));
  const com::HRESULT hr = InstallModule(true, u"user");
  // Either the damaged hive is refused, or it is replaced by a readable one that then holds the class.
  if (com::SUCCEEDED(hr)) {
    com::CLSID found{};
    EXPECT_EQ(com::CLSIDFromProgID(u"Velmarch.SealrunPDF", &found), com::S_OK);
  } else {
    com::CLSID found{};
    EXPECT_NE(com::CLSIDFromProgID(u"Velmarch.SealrunPDF", &found), com::S_OK);
  }
}

}  // namespace
}  // namespace sealrun::addin::testing
