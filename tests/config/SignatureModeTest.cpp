// The SignatureMode setting read into what it selects: exactly "1" stamps signature fields, exactly "0"
// protects the records, and the text is kept as the file has it.
#include <gtest/gtest.h>

#include <filesystem>

#include "config/ConnectionSettings.h"
#include "config/SignatureMode.h"
#include "tests/testsupport/TempDir.h"

namespace sealrun::config {
namespace {

TEST(SignatureModeText, OnlyExactlyOneSelectsSignatureFieldsAndOnlyExactlyZeroProtectsRecords) {
  struct Case {
    const char16_t* text;
    SealForm form;
    bool protects;
  };
  const Case cases[] = {
      {u"1", SealForm::SignatureField, false},   {u"0", SealForm::SealAnnotation, true},
      {u"2", SealForm::SealAnnotation, false},   {u"", SealForm::SealAnnotation, false},
      {u" 1", SealForm::SealAnnotation, false},  {u"1 ", SealForm::SealAnnotation, false},
      {u"01", SealForm::SealAnnotation, false},  {u"10", SealForm::SealAnnotation, false},
      {u" 0", SealForm::SealAnnotation, false},  {u"00", SealForm::SealAnnotation, false},
      {u"１", SealForm::SealAnnotation, false},  // a full-width one is another text
  };
  for (const Case& c : cases) {
    const SignatureMode mode(c.text);
    SCOPED_TRACE(std::string(mode.Text().begin(), mode.Text().end()));
    EXPECT_EQ(mode.Text(), c.text) << "the text is kept as written";
    EXPECT_EQ(mode.Form(), c.form);
    EXPECT_EQ(mode.StampsSignatureFields(), c.form == SealForm::SignatureField);
    EXPECT_EQ(mode.ProtectsRecords(), c.protects);
  }
  // A mode that no file named is the setting's default.
  EXPECT_EQ(SignatureMode(), SignatureMode(u"0"));
  EXPECT_NE(SignatureMode(u"2"), SignatureMode(u"0")) << "both stamp seal annotations, only one protects records";
}

TEST(SignatureModeSetting, TheConnectionReadsTheTextOfTheUsersFileOnce) {
  sealrun::testing::TempDir dir;
  const sealrun::testing::ScopedEnv appData("XDG_CONFIG_HOME", (dir / "appdata").string());
  const sealrun::testing::ScopedEnv module("SEALRUN_MODULE_DIR", (dir / "module").string());
  const std::filesystem::path folder = dir / "appdata" / "Signavox_ConfigFile";
  std::filesystem::create_directories(folder);
  for (const char* text : {"1", "2", "01"}) {
    SCOPED_TRACE(text);
    sealrun::testing::WriteFileBytes(folder / "OrtavexConfig.dll",
                                     std::string("\xEF\xBB\xBF<Brasmoor><S><SignatureMode>") + text +
                                         "</SignatureMode></S></Brasmoor>");
    const SignatureMode mode = ReadConnectionSettings().signatureMode;
    EXPECT_EQ(mode, SignatureMode(std::u16string(text, text + std::char_traits<char>::length(text))));
    EXPECT_EQ(mode.StampsSignatureFields(), std::string_view(text) == "1");
    EXPECT_FALSE(mode.ProtectsRecords());
  }
}

}  // namespace
}  // namespace sealrun::config
