#include "seal/HandwritingCapture.h"

#include <array>
#include <optional>
#include <utility>
#include <vector>

#include "config/ConfigFiles.h"
#include "config/ProductSettings.h"
#include "platform/imaging/ImageCodec.h"
#include "platform/text/CodePage.h"
#include "platform/ui/Backend.h"
#include "seal/AutomationObject.h"
#include "seal/AutomationValues.h"
#include "seal/HandwritingLists.h"
#include "seal/SealTrace.h"
#include "seal/WriteSectionKey.h"
#include "support/Alphabets.h"
#include "support/Base64.h"

namespace sealrun::seal {
namespace {

using namespace platform::com;
using config::ProductKey;

// {7A1CA3AE-90AA-4428-95E4-0D43797F06E7}
constexpr CLSID kHandwritingClsid{0x7A1CA3AE, 0x90AA, 0x4428, {0x95, 0xE4, 0x0D, 0x43, 0x79, 0x7F, 0x06, 0xE7}};

struct FieldKey {
  std::u16string_view field;
  ProductKey key;
};

// The pen and font fields in the order they are set; the font size is set as "FontSize".
constexpr std::array<FieldKey, 18> kSetFields{{
    {u"HandPenColor", ProductKey::HandPenColor},   {u"HandPenWidth", ProductKey::HandPenWidth},
    {u"PenPressure", ProductKey::PenPressure},     {u"HandPenTrans", ProductKey::HandPenTrans},
    {u"FontName", ProductKey::HandFontName},       {u"FontSize", ProductKey::HandFontSize},
    {u"CharSet", ProductKey::CharSet},             {u"ZoomHand", ProductKey::ZoomHand},
    {u"HandWriteWidth", ProductKey::HandWriteWidth}, {u"HandWriteHeight", ProductKey::HandWriteHeight},
    {u"WFFontName", ProductKey::WFFontName},       {u"WFFontSize", ProductKey::WFFontSize},
    {u"WFCharSet", ProductKey::WFCharSet},         {u"WFColor", ProductKey::WFColor},
    {u"WFfsBold", ProductKey::WFfsBold},           {u"WFfsItalic", ProductKey::WFfsItalic},
    {u"WFfsStrikeOut", ProductKey::WFfsStrikeOut}, {u"WFfsUnderline", ProductKey::WFfsUnderline},
}};

// The same fields in the order they are read back; the font size comes back as "HandFontSize".
constexpr std::array<FieldKey, 18> kReadFields{{
    {u"HandPenColor", ProductKey::HandPenColor},     {u"HandPenWidth", ProductKey::HandPenWidth},
    {u"PenPressure", ProductKey::PenPressure},       {u"HandPenTrans", ProductKey::HandPenTrans},
    {u"FontName", ProductKey::HandFontName},         {u"HandFontSize", ProductKey::HandFontSize},
    {u"WFColor", ProductKey::WFColor},               {u"WFCharSet", ProductKey::WFCharSet},
    {u"WFFontSize", ProductKey::WFFontSize},         {u"WFFontName", ProductKey::WFFontName},
    {u"WFfsBold", ProductKey::WFfsBold},             {u"WFfsItalic", ProductKey::WFfsItalic},
    {u"WFfsUnderline", ProductKey::WFfsUnderline},   {u"WFfsStrikeOut", ProductKey::WFfsStrikeOut},
    {u"HandWriteHeight", ProductKey::HandWriteHeight}, {u"HandWriteWidth", ProductKey::HandWriteWidth},
    {u"ZoomHand", ProductKey::ZoomHand},             {u"CharSet", ProductKey::CharSet},
}};

// The order the settings are stored back in.
constexpr std::array<ProductKey, 20> kStoreOrder{
    ProductKey::UsuallyList,    ProductKey::HandPenColor, ProductKey::PenWidthList,  ProductKey::HandPenWidth,
    ProductKey::PenPressure,    ProductKey::HandPenTrans, ProductKey::HandFontName,  ProductKey::HandFontSize,
    ProductKey::CharSet,        ProductKey::ZoomHand,     ProductKey::HandWriteWidth, ProductKey::HandWriteHeight,
    ProductKey::WFFontName,     ProductKey::WFFontSize,   ProductKey::WFCharSet,     ProductKey::WFColor,
    ProductKey::WFfsBold,       ProductKey::WFfsItalic,   ProductKey::WFfsUnderline, ProductKey::WFfsStrikeOut,
};

void TellUser(const char16_t* message) {
  platform::ui::MessageBox(platform::ui::ActiveWindow(), message, u"提示", platform::ui::kMbIconInformation);
}

void SetField(const AutomationObject& component, std::u16string_view name, const Variant& value) {
  if (const HRESULT hr = component.Call(u"SetFieldByName", {Variant(name), value}); FAILED(hr))
    SealTrace(u"SetFieldByName " + std::u16string(name) + u" " + HresultText(hr));
}

// The component's answer for a field; nullopt when it gave none (an unknown member or field, a failed call,
// an empty or null answer), so that a setting it does not echo is never overwritten with nothing.
std::optional<std::u16string> ReadField(const AutomationObject& component, std::u16string_view name) {
  Variant answer;
  if (FAILED(component.Call(u"GetFieldByName", {Variant(name)}, answer))) return std::nullopt;
  if (answer.Type() == VT_EMPTY || answer.Type() == VT_NULL) return std::nullopt;
  return TextOf(answer);
}

// The signature's bytes from the component's Base64 text (taken in the ANSI code page, blanks skipped).
std::vector<uint8_t> SignatureBytes(std::u16string_view text) {
  std::string symbols = platform::text::FromUtf16(text, platform::text::kCpAcp);
  std::erase_if(symbols, [](char c) { return c == '\r' || c == '\n' || c == ' ' || c == '\t'; });
  return support::DecodeWithAlphabet(symbols, support::StandardAlphabet);
}

}  // namespace

HandwritingResult CaptureHandwriting(const HandwritingRequest& request, std::vector<uint8_t>& picture,
                                     bool& handwritten) {
  HandwritingResult result;
  const AutomationObject component = AutomationObject::Create(kHandwritingClsid);
  if (!component.IsValid()) {
    result.outcome = HandwritingOutcome::NoComponent;
    TellUser(kHandwritingUnavailableMessage);
    return result;
  }

  component.Put(u"Language", Variant(HandwritingLanguagePrefix(request.languageId)));
  SetField(component, u"KeyNumber", Variant(std::u16string_view(request.keySerial)));

  const config::ProductSettings settings =
      config::ReadProductSettings(config::kOrtavexConfigFile, config::kOrtavexConfigFolder);
  auto setting = [&settings](ProductKey key) { return settings.ValueOr(key, u""); };
  SetField(component, u"UTextEnable", Variant(int32_t{0}));
  SetField(component, u"PenWidthList", Variant(EncodeHandwritingList(setting(ProductKey::PenWidthList))));
  SetField(component, u"UsuallyList", Variant(EncodeHandwritingList(setting(ProductKey::UsuallyList))));
  const std::string_view alphabet = support::StandardAlphabet.Symbols();
  SetField(component, u"Base64String", Variant(std::u16string(alphabet.begin(), alphabet.end())));
  for (const auto& field : kSetFields) SetField(component, field.field, Variant(setting(field.key)));

  component.Call(u"ExecuteHandWrite");

  const auto signature = ReadField(component, u"SignatureValue");
  if (!signature || signature->empty()) {
    result.outcome = HandwritingOutcome::NothingWritten;
    return result;
  }
  std::vector<uint8_t> written = SignatureBytes(*signature);
  if (written.empty() || !platform::imaging::DecodeImage(written)) {
    SealTrace(u"手写签名图片无法识别");
    result.outcome = HandwritingOutcome::UnreadablePicture;
    TellUser(kHandwritingUnreadableMessage);
    return result;
  }
  picture = std::move(written);
  handwritten = true;
  result.outcome = HandwritingOutcome::Captured;
  result.pin = ReadField(component, u"HandPassword").value_or(std::u16string());

  // The settings as the window left them; a setting the component did not answer keeps its stored value.
  std::array<std::optional<std::u16string>, static_cast<size_t>(ProductKey::Count)> echoed;
  if (const auto list = ReadField(component, u"PenWidthList"))
    echoed[static_cast<size_t>(ProductKey::PenWidthList)] = DecodeHandwritingList(*list, ListBytes::Ansi);
  if (const auto list = ReadField(component, u"UsuallyList"))
    echoed[static_cast<size_t>(ProductKey::UsuallyList)] = DecodeHandwritingList(*list, ListBytes::Utf8);
  for (const auto& field : kReadFields) echoed[static_cast<size_t>(field.key)] = ReadField(component, field.field);

  result.settingsStored = true;
  for (const ProductKey key : kStoreOrder) {
    const auto& value = echoed[static_cast<size_t>(key)];
    if (!value) continue;
    if (!WriteSectionKey(config::kOrtavexConfigFile, kHandwritingSection, config::ProductKeyName(key), *value,
                         config::kOrtavexConfigFolder))
      result.settingsStored = false;
  }
  if (!result.settingsStored) SealTrace(u"手写设置未能保存");
  return result;
}

}  // namespace sealrun::seal
