#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "config/ConfigFiles.h"
#include "config/ConfigPaths.h"
#include "config/ConnectionSettings.h"
#include "config/PersonalFileTemplate.h"
#include "config/ProductSettings.h"
#include "config/PublicSettings.h"
#include "platform/fs/Paths.h"
#include "platform/ui/Backend.h"
#include "platform/ui/HeadlessBackend.h"
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

TEST_F(SettingsFiles, WithoutAFolderBesideTheModuleReadingCreatesNothingAndAChoiceIsKeptInTheUsersCopy) {
  const ProductSettings settings = ReadProductSettings(kProductConfigFile, u"");
  EXPECT_FALSE(settings.Get(ProductKey::SigFilePath).has_value());
  EXPECT_FALSE(stdfs::exists(ModuleFolder("Velmarch.SealrunPDF")));
  EXPECT_FALSE(stdfs::exists(UserFolder() / "BatchPDFConfig.dll"));

  // Choosing a seal picture is remembered where the readers look first, and the module folder stays absent.
  ASSERT_TRUE(WriteProductKey(kProductConfigFile, u"SigFilePath", u"/seals/x.png"));
  EXPECT_TRUE(stdfs::exists(UserFolder() / "BatchPDFConfig.dll"));
  EXPECT_FALSE(stdfs::exists(ModuleFolder("Velmarch.SealrunPDF")));
  EXPECT_EQ(ReadProductSettings(kProductConfigFile, u"").Get(ProductKey::SigFilePath), u"/seals/x.png");
}

TEST_F(SettingsFiles, AnUnreadablePersonalFileIsKeptAsideReplacedByTheTemplateAndTheUserIsToldOnce) {
  platform::ui::ScopedBackend backend(std::make_unique<platform::ui::HeadlessBackend>());
  const auto& user = dynamic_cast<const platform::ui::HeadlessBackend&>(platform::ui::CurrentBackend());
  const auto file = UserFolder() / "OrtavexConfig.dll";
  const std::string broken = "<Brasmoor><S><SignatureMode>1</SignatureMode></S>" + std::string(500, 'x');
  WriteFileBytes(file, broken);
  const ProductSettings settings = ReadProductSettings(kOrtavexConfigFile, kOrtavexConfigFolder);
  EXPECT_FALSE(settings.Get(ProductKey::SignatureMode).has_value());
  EXPECT_EQ(ReadFileBytes(file), std::string(kPersonalFileTemplate));
  auto backup = file;
  backup += ".bad";
  EXPECT_EQ(ReadFileBytes(backup), broken);
  ASSERT_EQ(user.Notices().size(), 1u);
  EXPECT_NE(user.Notices()[0].find(platform::fs::PathToUtf16(backup)), std::u16string::npos);

  // The replaced file reads without a word; a missing one is simply made.
  ReadProductSettings(kOrtavexConfigFile, kOrtavexConfigFolder);
  stdfs::create_directories(ModuleFolder("Velmarch.SealrunPDF"));
  ReadProductSettings(kProductConfigFile, u"");
  EXPECT_TRUE(stdfs::exists(ModuleFolder("Velmarch.SealrunPDF") / "BatchPDFConfig.dll"));
  EXPECT_EQ(user.Notices().size(), 1u);
}

TEST_F(SettingsFiles, Utf16WithoutAMarkIsReadNotReplaced) {
  // "<Brasmoor><S><SignatureMode>1</SignatureMode></S></Brasmoor>" in UTF-16LE and UTF-16BE, no mark.
  const std::string text = "<Brasmoor><S><SignatureMode>1</SignatureMode></S></Brasmoor>";
  for (const bool bigEndian : {false, true}) {
    SCOPED_TRACE(bigEndian);
    std::string bytes;
    for (const char c : text) bytes += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
    WriteFileBytes(UserFolder() / "OrtavexConfig.dll", bytes);
    EXPECT_EQ(ReadProductSettings(kOrtavexConfigFile, kOrtavexConfigFolder).Get(ProductKey::SignatureMode), u"1");
    EXPECT_EQ(ReadFileBytes(UserFolder() / "OrtavexConfig.dll"), bytes);
    EXPECT_FALSE(stdfs::exists(UserFolder() / "OrtavexConfig.dll.bad"));
  }
}

TEST_F(SettingsFiles, TheWriterChangesTheOccurrenceTheReaderTakes) {
  const auto file = UserFolder() / "BatchPDFConfig.dll";
  WriteFileBytes(file, Xml("<A><SigFilePath>/first.png</SigFilePath></A><B><SigFilePath>/second.png</SigFilePath></B>"));
  EXPECT_EQ(ReadConnectionSettings().sigFilePath, u"/second.png");
  ASSERT_TRUE(WriteProductKey(kProductConfigFile, u"SigFilePath", u"/chosen.png"));
  EXPECT_EQ(ReadConnectionSettings().sigFilePath, u"/chosen.png");
  EXPECT_EQ(ReadFileBytes(file),
            Xml("<A><SigFilePath>/first.png</SigFilePath></A><B><SigFilePath>/chosen.png</SigFilePath></B>"));
}

TEST_F(SettingsFiles, Gb2312FilesKeepTheirOtherTextAndRefuseWhatTheyCannotHold) {
  // 門 and 臺灣 are in code page 936 (what "gb2312" means on Windows) but not in strict GB2312.
  const auto file = UserFolder() / "BatchPDFConfig.dll";
  const std::string before = "<?xml version=\"1.0\" encoding=\"GB2312\"?>\r\n<Brasmoor><S><SigFilePath>/\xE9T.png"
                             "</SigFilePath><Note>\xC5_\x9E\xB3 \xE9T</Note></S></Brasmoor>\r\n";
  WriteFileBytes(file, before);
  EXPECT_EQ(ReadConnectionSettings().sigFilePath, u"/門.png");
  ASSERT_TRUE(WriteProductKey(kProductConfigFile, u"SigFilePath", u"/印章.png"));
  std::string after = before;
  after.replace(after.find("\xE9T.png"), 6, "\xD3\xA1\xD5\xC2.png");
  EXPECT_EQ(ReadFileBytes(file), after);
  // A path the file's code page cannot hold is refused; the file keeps its text.
  EXPECT_FALSE(WriteProductKey(kProductConfigFile, u"SigFilePath", u"/ก.png"));
  EXPECT_EQ(ReadFileBytes(file), after);
}

TEST_F(SettingsFiles, ASymbolicLinkToASettingsFileStaysALink) {
  const auto real = dir_ / "elsewhere" / "BatchPDFConfig.dll";
  stdfs::create_directories(real.parent_path());
  WriteFileBytes(real, Xml("<S><SigFilePath>/old.png</SigFilePath></S>"));
  stdfs::create_symlink(real, UserFolder() / "BatchPDFConfig.dll");
  ASSERT_TRUE(WriteProductKey(kProductConfigFile, u"SigFilePath", u"/new.png"));
  EXPECT_TRUE(stdfs::is_symlink(UserFolder() / "BatchPDFConfig.dll"));
  EXPECT_EQ(ReadFileBytes(real), Xml("<S><SigFilePath>/new.png</SigFilePath></S>"));
}

}  // namespace
}  // namespace sealrun::config
