// The handwritten signature captured through the real handwriting component: what it is configured with
// from "OrtavexConfig.dll", what comes back into the dialog, and what is stored back into the file.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/com/ServerModule.h"
#include "platform/imaging/ImageCodec.h"
#include "platform/text/CodePage.h"
#include "platform/text/Utf.h"
#include "platform/ui/HeadlessBackend.h"
#include "platform/ui/WritingWindow.h"
#include "seal/HandwritingCapture.h"
#include "seal/HandwritingLists.h"
#include "tests/testsupport/TempDir.h"

namespace sealrun::seal {
namespace {

namespace ui = platform::ui;
using sealrun::testing::ReadFileBytes;
using sealrun::testing::WriteFileBytes;

std::vector<uint8_t> SignaturePng(int width) {
  auto image = platform::imaging::Image::Create(width, 30, 24);
  for (int x = 0; x < width; ++x) image->SetPixel(x, 15, {0, 0, 128, 255});
  const auto png = platform::imaging::EncodePng(*image);
  return {png->begin(), png->end()};
}

// The handwriting section with every key the capture stores, each with its own value, except WFfsStrikeOut,
// which the file does not have (and must not get). The lists hold the stored "___" breaks.
std::u16string SettingsText(std::u16string_view declaration, std::u16string_view fontName) {
  std::u16string text(declaration);
  text += u"\r\n<Brasmoor>\r\n\t<QuoralPDFXML>\r\n\t\t<Enabled>0</Enabled>\r\n\t</QuoralPDFXML>\r\n\t<HANDWRITE>\r\n";
  auto key = [&text](std::u16string_view name, std::u16string_view value) {
    text += u"\t\t<" + std::u16string(name) + u">" + std::u16string(value) + u"</" + std::u16string(name) + u">\r\n";
  };
  key(u"PenPressure", u"1");
  key(u"PenWidthList", u"1___2___3");
  key(u"HandPenWidth", u"2");
  key(u"HandPenTrans", u"0");
  key(u"HandPenColor", u"0");
  key(u"UsuallyList", u"同意___已阅");
  key(u"HandFontName", fontName);
  key(u"HandFontSize", u"20");
  key(u"CharSet", u"134");
  key(u"ZoomHand", u"100");
  key(u"HandWriteWidth", u"400");
  key(u"HandWriteHeight", u"200");
  key(u"WFFontName", u"楷体");
  key(u"WFFontSize", u"12");
  key(u"WFCharSet", u"134");
  key(u"WFColor", u"255");
  key(u"WFfsBold", u"0");
  key(u"WFfsItalic", u"0");
  key(u"WFfsUnderline", u"0");
  text += u"\t</HANDWRITE>\r\n\t<SignatureMode>0</SignatureMode>\r\n</Brasmoor>\r\n";
  return text;
}

std::u16string Replace(std::u16string text, std::u16string_view from, std::u16string_view to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::u16string::npos);
  if (at != std::u16string::npos) text.replace(at, from.size(), to);
  return text;
}

const std::u16string kUtf8Declaration = u"<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>";
const std::u16string kGb2312Declaration = u"<?xml version=\"1.0\" encoding=\"GB2312\"?>";

class HandwritingCaptureTest : public ::testing::Test {
 protected:
  HandwritingCaptureTest()
      : registry_("SEALRUN_REGISTRY", (temp_.Path() / "registry").string()),
        config_("XDG_CONFIG_HOME", (temp_.Path() / "config").string()),
        settingsPath_(temp_.Path() / "config" / "Signavox_ConfigFile" / "OrtavexConfig.dll") {
    auto backend = std::make_unique<ui::HeadlessBackend>();
    user_ = backend.get();
    scoped_ = std::make_unique<ui::ScopedBackend>(std::move(backend));
    std::filesystem::create_directories(settingsPath_.parent_path());
  }

  void SetUp() override {
    module_ = dlopen(SEALRUN_HANDWRITING_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module_, nullptr) << dlerror();
  }
  void TearDown() override {
    if (module_ != nullptr) dlclose(module_);
  }
  void InstallComponent() {
    const auto install = reinterpret_cast<platform::com::DllInstallFunction>(dlsym(module_, "DllInstall"));
    ASSERT_NE(install, nullptr);
    ASSERT_EQ(install(1, u"user"), platform::com::S_OK);
  }

  void WriteSettingsUtf8(const std::u16string& text) {
    WriteFileBytes(settingsPath_, "\xEF\xBB\xBF" + platform::text::Utf16ToUtf8(text));
  }
  void WriteSettingsGbk(const std::u16string& text) {
    WriteFileBytes(settingsPath_, platform::text::FromUtf16(text, platform::text::kCpGbk));
  }
  std::string SettingsBytes() const { return ReadFileBytes(settingsPath_); }

  // The user looks at the writing window, then acts in it.
  void Script(std::function<void(ui::WritingWindow&)> act) {
    user_->OnDialog(ui::kWritingWindowTemplateId, [this, act](ui::Dialog& dialog) {
      auto& window = dynamic_cast<ui::WritingWindow&>(dialog);
      seen_ = window.Settings();
      seenSetup_ = window.Setup();
      seenCaption_ = window.Text();
      act(window);
    });
  }
  void WriteAndConfirm(std::vector<uint8_t> picture, std::u16string pin) {
    Script([picture, pin](ui::WritingWindow& window) {
      window.TypePin(pin);
      window.Write(picture);
      window.Confirm();
    });
  }

  HandwritingResult Capture(int32_t language = 2052) {
    return CaptureHandwriting({u"ZQ-DEMO-0001", language}, picture_, handwritten_);
  }

  sealrun::testing::TempDir temp_;
  sealrun::testing::ScopedEnv registry_;
  sealrun::testing::ScopedEnv config_;
  std::filesystem::path settingsPath_;
  ui::HeadlessBackend* user_ = nullptr;
  std::unique_ptr<ui::ScopedBackend> scoped_;
  void* module_ = nullptr;
  std::vector<ui::WritingSetting> seen_;
  ui::WritingWindowSetup seenSetup_;
  std::u16string seenCaption_;
  // The dialog's handwriting picture and flag, as a previous capture left them.
  std::vector<uint8_t> picture_ = std::vector<uint8_t>(5000, 0xAB);
  bool handwritten_ = false;
};

TEST_F(HandwritingCaptureTest, ComponentReceivesTheSettingsInOrderWithTheirValues) {
  InstallComponent();
  WriteSettingsUtf8(SettingsText(kUtf8Declaration, u"宋体"));
  WriteAndConfirm(SignaturePng(80), u"123456");

  const HandwritingResult result = Capture();

  EXPECT_EQ(result.outcome, HandwritingOutcome::Captured);
  EXPECT_EQ(seenCaption_, u"手写签名") << "2052 selects the simplified Chinese texts";
  EXPECT_EQ(seenSetup_.keyNumber, u"ZQ-DEMO-0001");
  EXPECT_EQ(seenSetup_.penWidths, (std::vector<std::u16string>{u"1", u"2", u"3"}));
  EXPECT_EQ(seenSetup_.usualTexts, (std::vector<std::u16string>{u"同意", u"已阅"}));
  // Pen and font fields in the order they were set; the font is set as FontName and FontSize, and a key
  // the file lacks is passed as an empty text.
  const std::vector<std::pair<std::u16string, std::u16string>> expected{
      {u"HandPenColor", u"0"},      {u"HandPenWidth", u"2"},     {u"PenPressure", u"1"},   {u"HandPenTrans", u"0"},
      {u"FontName", u"宋体"},       {u"FontSize", u"20"},        {u"CharSet", u"134"},     {u"ZoomHand", u"100"},
      {u"HandWriteWidth", u"400"},  {u"HandWriteHeight", u"200"}, {u"WFFontName", u"楷体"}, {u"WFFontSize", u"12"},
      {u"WFCharSet", u"134"},       {u"WFColor", u"255"},        {u"WFfsBold", u"0"},      {u"WFfsItalic", u"0"},
      {u"WFfsStrikeOut", u""},      {u"WFfsUnderline", u"0"}};
  ASSERT_EQ(seen_.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(seen_[i].name, expected[i].first) << i;
    EXPECT_EQ(seen_[i].value, expected[i].second) << i;
  }
}

TEST_F(HandwritingCaptureTest, LanguageOutsideTheTableGivesTheComponentNoPrefix) {
  InstallComponent();
  Script([](ui::WritingWindow& window) { window.Cancel(); });
  Capture(1041);
  EXPECT_EQ(seenCaption_, u"Handwritten signature") << "the component's own texts for an empty prefix";
  Capture(1028);
  EXPECT_EQ(seenCaption_, u"手寫簽名");
}

TEST_F(HandwritingCaptureTest, ClosingTheWindowWithoutWritingChangesNothing) {
  InstallComponent();
  WriteSettingsUtf8(SettingsText(kUtf8Declaration, u"宋体"));
  const std::string before = SettingsBytes();
  const auto previous = picture_;
  Script([](ui::WritingWindow& window) {
    window.ChangeSetting(u"HandPenColor", u"255");
    window.TypePin(u"123456");
    window.Cancel();
  });

  const HandwritingResult result = Capture();

  EXPECT_EQ(result.outcome, HandwritingOutcome::NothingWritten);
  EXPECT_EQ(result.pin, u"");
  EXPECT_EQ(picture_, previous);
  EXPECT_FALSE(handwritten_);
  EXPECT_EQ(SettingsBytes(), before);
  EXPECT_TRUE(user_->MessageBoxes().empty());
}

TEST_F(HandwritingCaptureTest, SignatureWithoutPinIsTakenAndReplacesTheWholeEarlierPicture) {
  InstallComponent();
  WriteSettingsUtf8(SettingsText(kUtf8Declaration, u"宋体"));
  const auto written = SignaturePng(60);
  ASSERT_LT(written.size(), picture_.size());
  WriteAndConfirm(written, u"");

  const HandwritingResult result = Capture();

  EXPECT_EQ(result.outcome, HandwritingOutcome::Captured);
  EXPECT_EQ(result.pin, u"");
  EXPECT_TRUE(handwritten_);
  EXPECT_EQ(picture_, written) << "nothing of the longer earlier picture may remain";
}

TEST_F(HandwritingCaptureTest, ChangedSettingsAreStoredBackIntoAUtf8File) {
  InstallComponent();
  const std::u16string original = SettingsText(kUtf8Declaration, u"宋体");
  WriteSettingsUtf8(original);
  Script([](ui::WritingWindow& window) {
    window.ChoosePenWidth(u"3");
    window.ChangeSetting(u"HandPenColor", u"16711680");
    window.ChangeSetting(u"FontSize", u"28");
    window.ChangeSetting(u"WFfsStrikeOut", u"1");
    window.TypePin(u"123456");
    window.Write(SignaturePng(80));
    window.Confirm();
  });

  const HandwritingResult result = Capture();

  EXPECT_EQ(result.pin, u"123456");
  EXPECT_TRUE(result.settingsStored);
  // Only the changed values differ; the lists keep their "___", the byte-order mark stays, and the key the
  // file did not have is not added.
  std::u16string expected = Replace(original, u"<HandPenWidth>2<", u"<HandPenWidth>3<");
  expected = Replace(expected, u"<HandPenColor>0<", u"<HandPenColor>16711680<");
  expected = Replace(expected, u"<HandFontSize>20<", u"<HandFontSize>28<");
  EXPECT_EQ(SettingsBytes(), "\xEF\xBB\xBF" + platform::text::Utf16ToUtf8(expected));
}

TEST_F(HandwritingCaptureTest, ChangedSettingsAreStoredBackIntoAGb2312File) {
  InstallComponent();
  const std::u16string original = SettingsText(kGb2312Declaration, u"宋体");
  WriteSettingsGbk(original);
  Script([](ui::WritingWindow& window) {
    window.ChangeSetting(u"FontName", u"黑体");
    window.TypePin(u"123456");
    window.Write(SignaturePng(80));
    window.Confirm();
  });

  const HandwritingResult result = Capture();

  EXPECT_EQ(result.outcome, HandwritingOutcome::Captured);
  EXPECT_TRUE(result.settingsStored);
  EXPECT_EQ(seen_[4].value, u"宋体") << "the GB2312 file was read in its own encoding";
  EXPECT_EQ(SettingsBytes(), platform::text::FromUtf16(Replace(original, u"宋体", u"黑体"), platform::text::kCpGbk));
}

TEST_F(HandwritingCaptureTest, PictureThatDoesNotDecodeChangesNothingAndIsReported) {
  InstallComponent();
  WriteSettingsUtf8(SettingsText(kUtf8Declaration, u"宋体"));
  const std::string before = SettingsBytes();
  const auto previous = picture_;
  const std::string junk = "this is not a picture";
  Script([&](ui::WritingWindow& window) {
    window.ChangeSetting(u"HandPenColor", u"255");
    window.TypePin(u"123456");
    window.Write(std::vector<uint8_t>(junk.begin(), junk.end()));
    window.Confirm();
  });

  const HandwritingResult result = Capture();

  EXPECT_EQ(result.outcome, HandwritingOutcome::UnreadablePicture);
  EXPECT_EQ(result.pin, u"") << "a PIN without a usable signature is not handed on";
  EXPECT_EQ(picture_, previous);
  EXPECT_FALSE(handwritten_);
  EXPECT_EQ(SettingsBytes(), before);
  ASSERT_EQ(user_->MessageBoxes().size(), 1u);
  EXPECT_EQ(user_->MessageBoxes()[0].text, kHandwritingUnreadableMessage);
  EXPECT_EQ(user_->MessageBoxes()[0].caption, u"提示");
}

TEST_F(HandwritingCaptureTest, ComponentThatCannotBeCreatedChangesNothingAndIsReported) {
  // Not installed: the class id is unknown to the registry.
  WriteSettingsUtf8(SettingsText(kUtf8Declaration, u"宋体"));
  const std::string before = SettingsBytes();
  const auto previous = picture_;

  const HandwritingResult result = Capture();

  EXPECT_EQ(result.outcome, HandwritingOutcome::NoComponent);
  EXPECT_EQ(picture_, previous);
  EXPECT_FALSE(handwritten_);
  EXPECT_EQ(SettingsBytes(), before);
  ASSERT_EQ(user_->MessageBoxes().size(), 1u);
  EXPECT_EQ(user_->MessageBoxes()[0].text, kHandwritingUnavailableMessage);
  EXPECT_TRUE(user_->DialogsRun().empty());
}

TEST_F(HandwritingCaptureTest, SettingsFileThatDoesNotLoadIsNotWrittenButTheSignatureIsTaken) {
  InstallComponent();
  // No copy in the user's folder and none beside the module (whose folder cannot be created either): the
  // component gets empty settings and nothing is stored anywhere.
  std::filesystem::remove_all(settingsPath_.parent_path());
  const auto written = SignaturePng(80);
  WriteAndConfirm(written, u"123456");

  const HandwritingResult result = Capture();

  EXPECT_EQ(result.outcome, HandwritingOutcome::Captured);
  EXPECT_EQ(result.pin, u"123456");
  EXPECT_EQ(picture_, written);
  EXPECT_FALSE(result.settingsStored);
  for (const auto& setting : seen_) EXPECT_EQ(setting.value, u"") << std::string(setting.name.begin(), setting.name.end());
  EXPECT_FALSE(std::filesystem::exists(settingsPath_));
}

}  // namespace
}  // namespace sealrun::seal
