#include <gtest/gtest.h>

#include <filesystem>

#include "config/ConfigFiles.h"
#include "config/ConfigPaths.h"
#include "config/ConnectionSettings.h"
#include "config/PersonalFileTemplate.h"
#include "config/ProductSettings.h"
#include "config/PublicSettings.h"
#include "platform/fs/Paths.h"
#include "tests/testsupport/TempDir.h"

namespace sealrun::config {
namespace {

using sealrun::testing::ReadFileBytes;
using sealrun::testing::ScopedEnv;
using sealrun::testing::TempDir;
using sealrun::testing::WriteFileBytes;
namespace stdfs = std::filesystem;

// A machine with an application-data folder, a system directory and a module folder of its own.
class SettingsFiles : public ::testing::Test {
 protected:
  SettingsFiles()
      : appData_("XDG_CONFIG_HOME", (dir_ / "appdata").string()),
        system_("SEALRUN_SYSTEM_DIR", (dir_ / "system").string()),
        module_("SEALRUN_MODULE_DIR", (dir_ / "module").string()) {
    stdfs::create_directories(UserFolder());
    stdfs::create_directories(dir_ / "system");
    stdfs::create_directories(dir_ / "module");
  }

  stdfs::path UserFolder() const { return dir_ / "appdata" / "Signavox_ConfigFile"; }
  stdfs::path ModuleFolder(const char* folder) const { return dir_ / "module" / folder; }

  static std::string Xml(const std::string& body) {
    return "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Brasmoor>" + body + "</Brasmoor>\r\n";
  }

  TempDir dir_;
  ScopedEnv appData_, system_, module_;
};

TEST_F(SettingsFiles, PersonalTemplateIsTheExactStartingContent) {
  ASSERT_EQ(kPersonalFileTemplate.size(), 3u + 354u);
  EXPECT_TRUE(kPersonalFileTemplate.starts_with("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n"));
  EXPECT_NE(kPersonalFileTemplate.find("\t<PostitonLefe>0</PostitonLefe>\r\n"), std::string_view::npos);
  EXPECT_TRUE(kPersonalFileTemplate.ends_with("</QuoralPDFXML>\r\n</Brasmoor>\r\n"));
}

TEST_F(SettingsFiles, PublicFileIsFoundInTheUserFolderFirstThenTheSystemDirectory) {
  EXPECT_EQ(platform::fs::PathFromUtf16(ResolvePublicConfigPath(kPublicConfigFile)), dir_ / "system" / "BrasmoorPublic.dll");
  WriteFileBytes(dir_ / "system" / "BrasmoorPublic.dll",
                 Xml("<Sign><WebUrl>http://system/</WebUrl><DigitalSignOnline>TRUE</DigitalSignOnline></Sign>"));
  PublicSettings fromSystem = ReadPublicSettings(kPublicConfigFile);
  EXPECT_EQ(fromSystem.webUrl, u"http://system/");
  EXPECT_TRUE(fromSystem.digitalSignOnline);

  WriteFileBytes(UserFolder() / "BrasmoorPublic.dll", Xml("<Sign><WebUrl>http://user/</WebUrl></Sign>"));
  EXPECT_EQ(ReadPublicSettings(kPublicConfigFile).webUrl, u"http://user/");
  EXPECT_FALSE(ReadPublicSettings(kPublicConfigFile).digitalSignOnline);
}

TEST_F(SettingsFiles, PublicValuesFollowTheirTypesAndTheLastOccurrenceWins) {
  WriteFileBytes(UserFolder() / "BrasmoorPublic.dll",
                 Xml("<A><CSPName>first</CSPName><ValidateCertificate>True</ValidateCertificate>"
                     "<DigitalSignOnline>1</DigitalSignOnline><Other>x</Other></A>"
                     "<B><CSPName>中文 CSP</CSPName><webUrl>ignored: names are case-sensitive</webUrl></B>"));
  const PublicSettings settings = ReadPublicSettings(kPublicConfigFile);
  EXPECT_EQ(settings.cspName, u"中文 CSP");
  EXPECT_TRUE(settings.validateCertificate);
  EXPECT_FALSE(settings.digitalSignOnline);  // "1" is not "true"
  EXPECT_EQ(settings.webUrl, u"");
}

TEST_F(SettingsFiles, MissingOrBrokenPublicFileLeavesDefaultsAndIsNeverCreated) {
  EXPECT_EQ(ReadPublicSettings(kPublicConfigFile).webUrl, u"");
  EXPECT_FALSE(stdfs::exists(dir_ / "system" / "BrasmoorPublic.dll"));
  WriteFileBytes(dir_ / "system" / "BrasmoorPublic.dll", "<Brasmoor><Sign><WebUrl>x</WebUrl>");
  const PublicSettings settings = ReadPublicSettings(kPublicConfigFile);
  EXPECT_EQ(settings.webUrl, u"");
  EXPECT_FALSE(settings.digitalSignOnline);
  EXPECT_EQ(ReadFileBytes(dir_ / "system" / "BrasmoorPublic.dll"), "<Brasmoor><Sign><WebUrl>x</WebUrl>");
}

TEST_F(SettingsFiles, UserCopyOfAPersonalFileWinsAndTheModuleCopyIsNotTouched) {
  stdfs::create_directories(ModuleFolder("Velmarch.Ortavex"));
  const std::string moduleCopy = Xml("<S><SignatureMode>0</SignatureMode></S>");
  WriteFileBytes(ModuleFolder("Velmarch.Ortavex") / "OrtavexConfig.dll", moduleCopy);
  EXPECT_EQ(ReadProductSettings(kOrtavexConfigFile, kOrtavexConfigFolder).ValueOr(ProductKey::SignatureMode, u"?"), u"0");

  WriteFileBytes(UserFolder() / "OrtavexConfig.dll", Xml("<S><SignatureMode>1</SignatureMode><HandFontSize>12</HandFontSize></S>"));
  const ProductSettings settings = ReadProductSettings(kOrtavexConfigFile, kOrtavexConfigFolder);
  EXPECT_EQ(settings.Get(ProductKey::SignatureMode), u"1");
  EXPECT_EQ(settings.Get(ProductKey::HandFontSize), u"12");
  EXPECT_FALSE(settings.Get(ProductKey::PenWidthList).has_value());
  EXPECT_EQ(ReadFileBytes(ModuleFolder("Velmarch.Ortavex") / "OrtavexConfig.dll"), moduleCopy);
}

TEST_F(SettingsFiles, FirstStartCreatesThePersonalFileBesideTheModuleAndRemembersTheSealImage) {
  stdfs::create_directories(ModuleFolder("Velmarch.SealrunPDF"));
  const auto file = ModuleFolder("Velmarch.SealrunPDF") / "BatchPDFConfig.dll";
  const ConnectionSettings first = ReadConnectionSettings();
  EXPECT_EQ(first.sigFilePath, u"");
  EXPECT_EQ(first.signatureMode.Text(), u"0");  // no OrtavexConfig.dll anywhere
  EXPECT_EQ(first.signatureMode.Form(), SealForm::SealAnnotation);
  EXPECT_TRUE(first.signatureMode.ProtectsRecords());
  EXPECT_EQ(ReadFileBytes(file), std::string(kPersonalFileTemplate));

  // A long path (more than 259 bytes in any code page) with Chinese text is held whole.
  std::u16string longPath = u"/印章/";
  for (int i = 0; i < 100; ++i) longPath += u"目录/";
  longPath += u"seal.png";
  ASSERT_TRUE(WriteProductKey(kProductConfigFile, u"SigFilePath", longPath));
  EXPECT_EQ(ReadConnectionSettings().sigFilePath, longPath);
  const std::string saved = ReadFileBytes(file);
  EXPECT_TRUE(saved.starts_with("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n"));
  EXPECT_NE(saved.find("\t<bAutoZoom>0</bAutoZoom>\r\n\t<SigFilePath>"), std::string::npos);

  // A second write changes the element in place.
  ASSERT_TRUE(WriteProductKey(kProductConfigFile, u"SigFilePath", u"/seals/new.png"));
  EXPECT_EQ(ReadProductSettings(kProductConfigFile, u"").Get(ProductKey::SigFilePath), u"/seals/new.png");
}

TEST_F(SettingsFiles, WithoutAFolderBesideTheModuleNothingIsCreatedAndDefaultsApply) {
  const ProductSettings settings = ReadProductSettings(kProductConfigFile, u"");
  EXPECT_FALSE(settings.Get(ProductKey::SigFilePath).has_value());
  EXPECT_FALSE(stdfs::exists(ModuleFolder("Velmarch.SealrunPDF")));
  EXPECT_FALSE(WriteProductKey(kProductConfigFile, u"SigFilePath", u"x"));
}

TEST_F(SettingsFiles, AnUnreadablePersonalFileIsKeptAsideAndReplacedByTheTemplate) {
  const auto file = UserFolder() / "OrtavexConfig.dll";
  const std::string broken = "<Brasmoor><S><SignatureMode>1</SignatureMode></S>" + std::string(500, 'x');
  WriteFileBytes(file, broken);
  const ProductSettings settings = ReadProductSettings(kOrtavexConfigFile, kOrtavexConfigFolder);
  EXPECT_FALSE(settings.Get(ProductKey::SignatureMode).has_value());
  EXPECT_EQ(ReadFileBytes(file), std::string(kPersonalFileTemplate));
  auto backup = file;
  backup += ".bad";
  EXPECT_EQ(ReadFileBytes(backup), broken);
}

}  // namespace
}  // namespace sealrun::config
