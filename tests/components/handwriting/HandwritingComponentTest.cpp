// The handwriting component as the system meets it: fields set by name, the writing window run by a
// scripted user, the signature, the PIN and the (possibly changed) fields read back by name.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "components/handwriting/HandwritingIds.h"
#include "platform/com/ComRuntime.h"
#include "platform/com/InvokeByName.h"
#include "platform/com/ServerModule.h"
#include "platform/imaging/ImageCodec.h"
#include "platform/ui/HeadlessBackend.h"
#include "platform/ui/WritingWindow.h"
#include "tests/testsupport/TempDir.h"

namespace sealrun::components::handwriting {
namespace {

using namespace platform::com;
namespace ui = platform::ui;

constexpr char16_t kStandard[] = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";

std::vector<uint8_t> SignaturePng() {
  auto image = platform::imaging::Image::Create(40, 20, 24);
  for (int x = 0; x < 40; ++x) image->SetPixel(x, 10, {0, 0, 0, 255});
  const auto png = platform::imaging::EncodePng(*image);
  return {png->begin(), png->end()};
}

std::u16string Base64(const std::string& bytes, std::u16string_view alphabet = kStandard) {
  std::u16string text;
  size_t i = 0;
  auto byte = [&](size_t at) { return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])); };
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t g = byte(i) << 16 | byte(i + 1) << 8 | byte(i + 2);
    for (int s = 18; s >= 0; s -= 6) text.push_back(alphabet[(g >> s) & 63]);
  }
  if (const size_t left = bytes.size() - i) {
    const uint32_t g = byte(i) << 16 | (left == 2 ? byte(i + 1) << 8 : 0);
    text.push_back(alphabet[(g >> 18) & 63]);
    text.push_back(alphabet[(g >> 12) & 63]);
    text.push_back(left == 2 ? alphabet[(g >> 6) & 63] : alphabet[64]);
    text.push_back(alphabet[64]);
  }
  return text;
}

std::u16string Text(const Variant& value) {
  const VARIANT& v = *value.Get();
  if (v.vt != VT_BSTR) return u"<not a BSTR>";
  return std::u16string(v.bstrVal ? v.bstrVal : u"", SysStringLen(v.bstrVal));
}

// What the scripted user saw in the writing window.
struct SeenWindow {
  std::u16string caption;
  std::u16string keyNumber;
  std::vector<ui::WritingSetting> settings;
  std::vector<std::u16string> penWidths;
  std::vector<std::u16string> usualTexts;
};

class HandwritingComponentTest : public ::testing::Test {
 protected:
  HandwritingComponentTest() : registry_("SEALRUN_REGISTRY", (temp_.Path() / "registry").string()) {
    auto backend = std::make_unique<ui::HeadlessBackend>();
    user_ = backend.get();
    scoped_ = std::make_unique<ui::ScopedBackend>(std::move(backend));
  }

  void SetUp() override {
    module_ = dlopen(SEALRUN_HANDWRITING_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module_, nullptr) << dlerror();
    const auto install = reinterpret_cast<DllInstallFunction>(dlsym(module_, "DllInstall"));
    ASSERT_NE(install, nullptr);
    ASSERT_EQ(install(1, u"user"), S_OK);
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(CoCreateInstance(kHandwritingClsid, nullptr, CLSCTX_ALL, IID_IUnknown, unknown.OutVoid()), S_OK);
    ASSERT_EQ(unknown->QueryInterface(IID_IDispatch, object_.OutVoid()), S_OK);
  }
  void TearDown() override {
    object_.Reset();
    if (module_ != nullptr) dlclose(module_);
  }

  Variant Invoke(std::u16string_view name, WORD flags, std::initializer_list<Variant> args) {
    Variant result;
    EXPECT_EQ(InvokeByName(object_.Get(), name, flags, args, result.Out()), S_OK) << std::string(name.begin(), name.end());
    return result;
  }
  void Set(std::u16string_view field, const Variant& value) { Invoke(u"SetFieldByName", DISPATCH_METHOD, {Variant(field), value}); }
  Variant Get(std::u16string_view field) { return Invoke(u"GetFieldByName", DISPATCH_METHOD, {Variant(field)}); }
  void PutLanguage(std::u16string_view prefix) {
    EXPECT_EQ(InvokeByName(object_.Get(), u"Language", DISPATCH_PROPERTYPUT, {Variant(prefix)}, nullptr), S_OK);
  }
  int32_t Execute() { return Invoke(u"ExecuteHandWrite", DISPATCH_METHOD, {}).AsInt().value_or(-1); }

  // The user looks at the window, then does `act` in it.
  void Script(std::function<void(ui::WritingWindow&)> act) {
    user_->OnDialog(ui::kWritingWindowTemplateId, [this, act](ui::Dialog& dialog) {
      auto& window = dynamic_cast<ui::WritingWindow&>(dialog);
      seen_ = SeenWindow{window.Text(), window.Setup().keyNumber, window.Settings(), window.Setup().penWidths,
                         window.Setup().usualTexts};
      act(window);
    });
  }

  sealrun::testing::TempDir temp_;
  sealrun::testing::ScopedEnv registry_;
  ui::HeadlessBackend* user_ = nullptr;
  std::unique_ptr<ui::ScopedBackend> scoped_;
  void* module_ = nullptr;
  ComPtr<IDispatch> object_;
  std::optional<SeenWindow> seen_;
};

TEST_F(HandwritingComponentTest, WindowShowsTheFieldsItWasGivenAndTheSignatureComesBack) {
  PutLanguage(u"GBC_");
  Set(u"KeyNumber", Variant(u"ZQ-DEMO-0001"));
  Set(u"UTextEnable", Variant(int32_t{0}));
  Set(u"PenWidthList", Variant(Base64("1\r\n2\r\n3")));
  Set(u"UsuallyList", Variant(Base64("同意\r\n已阅")));
  Set(u"Base64String", Variant(kStandard));
  Set(u"HandPenColor", Variant(u"255"));
  Set(u"HandPenWidth", Variant(u"2"));
  Set(u"FontName", Variant(u"宋体"));
  Set(u"FontSize", Variant(u"20"));
  const auto picture = SignaturePng();
  Script([&](ui::WritingWindow& window) {
    window.TypePin(u"123456");
    window.Write(picture);
    window.Confirm();
  });

  EXPECT_EQ(Execute(), kHandWritten);

  ASSERT_TRUE(seen_);
  EXPECT_EQ(seen_->caption, u"手写签名");
  EXPECT_EQ(seen_->keyNumber, u"ZQ-DEMO-0001");
  ASSERT_EQ(seen_->settings.size(), 4u) << "only pen and font settings are offered for editing";
  EXPECT_EQ(seen_->settings[0].name, u"HandPenColor");
  EXPECT_EQ(seen_->settings[2].value, u"宋体");
  EXPECT_EQ(seen_->settings[3].name, u"FontSize");
  EXPECT_EQ(seen_->penWidths, (std::vector<std::u16string>{u"1", u"2", u"3"}));
  EXPECT_EQ(seen_->usualTexts, (std::vector<std::u16string>{u"同意", u"已阅"}));

  EXPECT_EQ(Text(Get(u"SignatureValue")), Base64(std::string(picture.begin(), picture.end())));
  EXPECT_EQ(Text(Get(u"HandPassword")), u"123456");
  // Echoes: as given, the lists untouched, the font size also under its read-back name.
  EXPECT_EQ(Text(Get(u"PenWidthList")), Base64("1\r\n2\r\n3"));
  EXPECT_EQ(Text(Get(u"FontName")), u"宋体");
  EXPECT_EQ(Text(Get(u"HandFontSize")), u"20");
  EXPECT_EQ(Get(u"UTextEnable").Type(), VT_I4);
  EXPECT_EQ(Get(u"WFColor").Type(), VT_EMPTY) << "a field never given has nothing to echo";
}

TEST_F(HandwritingComponentTest, SettingsChangedInTheWindowAreEchoedChanged) {
  Set(u"PenWidthList", Variant(Base64("1\r\n2\r\n3")));
  Set(u"HandPenWidth", Variant(u"1"));
  Set(u"HandPenColor", Variant(u"0"));
  Set(u"FontSize", Variant(u"20"));
  Set(u"ZoomHand", Variant(u"100"));
  Script([&](ui::WritingWindow& window) {
    EXPECT_TRUE(window.ChoosePenWidth(u"3"));
    EXPECT_FALSE(window.ChoosePenWidth(u"9")) << "only the widths offered can be picked";
    EXPECT_TRUE(window.ChangeSetting(u"HandPenColor", u"16711680"));
    EXPECT_TRUE(window.ChangeSetting(u"FontSize", u"28"));
    EXPECT_FALSE(window.ChangeSetting(u"PenWidthList", u"x")) << "lists are not offered as settings";
    window.Write(SignaturePng());
    window.Confirm();
  });

  EXPECT_EQ(Execute(), kHandWritten);
  EXPECT_EQ(Text(Get(u"HandPenWidth")), u"3");
  EXPECT_EQ(Text(Get(u"HandPenColor")), u"16711680");
  EXPECT_EQ(Text(Get(u"HandFontSize")), u"28");
  EXPECT_EQ(Text(Get(u"ZoomHand")), u"100");
  EXPECT_EQ(Text(Get(u"PenWidthList")), Base64("1\r\n2\r\n3"));
}

TEST_F(HandwritingComponentTest, ClosingWithoutASignatureGivesNothingAndKeepsTheSettings) {
  Set(u"HandPenColor", Variant(u"0"));
  // Closed by the user after changing a setting and typing a PIN; and, on a second run, confirmed with an
  // empty pad (which the window does not accept as a signature).
  Script([&](ui::WritingWindow& window) {
    window.ChangeSetting(u"HandPenColor", u"255");
    window.TypePin(u"123456");
    window.Cancel();
  });
  EXPECT_EQ(Execute(), kHandNothingWritten);
  EXPECT_EQ(Text(Get(u"SignatureValue")), u"");
  EXPECT_EQ(Text(Get(u"HandPassword")), u"");
  EXPECT_EQ(Text(Get(u"HandPenColor")), u"0");

  Script([&](ui::WritingWindow& window) {
    window.Write(SignaturePng());
    window.ClearPad();
    window.TypePin(u"123456");
    window.Confirm();
  });
  EXPECT_EQ(Execute(), kHandNothingWritten);
  EXPECT_EQ(Text(Get(u"SignatureValue")), u"");
  EXPECT_EQ(Text(Get(u"HandPassword")), u"");
}

TEST_F(HandwritingComponentTest, LanguagePrefixChoosesTheWindowTexts) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"GBC_", u"手写签名"}, {u"GBB_", u"手寫簽名"}, {u"ENG_", u"Handwritten signature"}, {u"", u"Handwritten signature"}};
  for (const auto& [prefix, caption] : cases) {
    PutLanguage(prefix);
    EXPECT_EQ(Text(Invoke(u"Language", DISPATCH_PROPERTYGET, {})), prefix);
    seen_.reset();
    Script([](ui::WritingWindow& window) { window.Cancel(); });
    Execute();
    ASSERT_TRUE(seen_);
    EXPECT_EQ(seen_->caption, caption) << std::string(prefix.begin(), prefix.end());
  }
}

TEST_F(HandwritingComponentTest, TextsUseTheAlphabetTheCallerGave) {
  // The standard symbols rotated by one: "B" stands for 0, "=" for 63 and "A" pads.
  const std::u16string rotated = u"BCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=A";
  const auto picture = SignaturePng();
  Set(u"Base64String", Variant(rotated));
  Set(u"PenWidthList", Variant(Base64("4\r\n5", rotated)));
  Script([&](ui::WritingWindow& window) {
    window.Write(picture);
    window.Confirm();
  });
  EXPECT_EQ(Execute(), kHandWritten);
  EXPECT_EQ(seen_->penWidths, (std::vector<std::u16string>{u"4", u"5"}));
  EXPECT_EQ(Text(Get(u"SignatureValue")), Base64(std::string(picture.begin(), picture.end()), rotated));

  // An alphabet that is not 65 distinct symbols is not used: the standard one is.
  Set(u"Base64String", Variant(u"AAAA"));
  Script([&](ui::WritingWindow& window) {
    window.Write(picture);
    window.Confirm();
  });
  EXPECT_EQ(Execute(), kHandWritten);
  EXPECT_EQ(Text(Get(u"SignatureValue")), Base64(std::string(picture.begin(), picture.end())));
}

}  // namespace
}  // namespace sealrun::components::handwriting
