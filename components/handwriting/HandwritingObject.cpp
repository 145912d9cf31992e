#include "components/handwriting/HandwritingObject.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "components/handwriting/FieldText.h"
#include "components/handwriting/WindowTexts.h"
#include "platform/fs/DebugTrace.h"
#include "platform/ui/WritingWindow.h"

namespace sealrun::components::handwriting {
namespace {

using namespace platform::com;

constexpr std::u16string_view kPenWidthList = u"PenWidthList";
constexpr std::u16string_view kUsuallyList = u"UsuallyList";
constexpr std::u16string_view kBase64String = u"Base64String";
constexpr std::u16string_view kSignatureValue = u"SignatureValue";
constexpr std::u16string_view kHandPassword = u"HandPassword";
constexpr std::u16string_view kHandPenWidth = u"HandPenWidth";

// Fields that are not pen or font settings, so the window does not offer them for editing.
constexpr std::array<std::u16string_view, 7> kNotSettings{
    u"KeyNumber", u"UTextEnable", kPenWidthList, kUsuallyList, kBase64String, kSignatureValue, kHandPassword};

// The font size is set as "FontSize" and read back as "HandFontSize".
std::u16string_view StoredName(std::u16string_view name) { return name == u"HandFontSize" ? u"FontSize" : name; }

void Trace(std::string_view what) { platform::fs::DebugTrace("Sealrun.Handwriting: " + std::string(what)); }

// The PIN typed in the window does not linger in freed memory.
void WipeBstr(Variant& value) {
  VARIANT* v = value.Get();
  if (v->vt == VT_BSTR && v->bstrVal != nullptr) std::memset(v->bstrVal, 0, SysStringLen(v->bstrVal) * sizeof(char16_t));
}

}  // namespace

HandwritingObject::~HandwritingObject() {
  for (auto& [name, value] : fields_)
    if (name == kHandPassword) WipeBstr(value);
}

const DispatchTable<HandwritingObject>& HandwritingObject::DispatchMembers() {
  static const DispatchTable<HandwritingObject> table{{
      {.name = u"Language", .id = 1, .get = &HandwritingObject::GetLanguage, .put = &HandwritingObject::PutLanguage},
      {.name = u"SetFieldByName", .id = 2, .argCount = 2, .method = &HandwritingObject::SetFieldByName},
      {.name = u"GetFieldByName", .id = 3, .argCount = 1, .method = &HandwritingObject::GetFieldByName},
      {.name = u"ExecuteHandWrite", .id = 4, .method = &HandwritingObject::ExecuteHandWrite},
  }};
  return table;
}

const Variant* HandwritingObject::Field(std::u16string_view name) const {
  const auto found = std::find_if(fields_.begin(), fields_.end(), [&](const auto& field) { return field.first == name; });
  return found == fields_.end() ? nullptr : &found->second;
}

void HandwritingObject::SetField(std::u16string_view name, Variant value) {
  const auto found = std::find_if(fields_.begin(), fields_.end(), [&](const auto& field) { return field.first == name; });
  if (found == fields_.end()) {
    fields_.emplace_back(std::u16string(name), std::move(value));
    return;
  }
  if (name == kHandPassword) WipeBstr(found->second);
  found->second = std::move(value);
}

std::u16string HandwritingObject::FieldText(std::u16string_view name) const {
  const Variant* value = Field(name);
  if (value == nullptr) return {};
  return value->AsString().value_or(std::u16string());
}

HRESULT HandwritingObject::GetLanguage(DispatchCall& call) { return call.ReturnString(language_); }

HRESULT HandwritingObject::PutLanguage(DispatchCall& call) { return call.PutString(language_); }

HRESULT HandwritingObject::SetFieldByName(DispatchCall& call) {
  std::u16string name;
  if (const HRESULT hr = call.ArgString(0, name); FAILED(hr)) return hr;
  if (name.empty()) return call.Raise(E_INVALIDARG, u"A field needs a name.");
  // Kept as passed (a number stays a number), so it is echoed as it came.
  Variant value(call.Arg(1));
  if (value.Type() == (VT_BYREF | VT_VARIANT)) value = Variant(*call.Arg(1).pvarVal);
  SetField(StoredName(name), std::move(value));
  return S_OK;
}

HRESULT HandwritingObject::GetFieldByName(DispatchCall& call) {
  std::u16string name;
  if (const HRESULT hr = call.ArgString(0, name); FAILED(hr)) return hr;
  const Variant* value = Field(StoredName(name));
  // A field never set answers VT_EMPTY: there is nothing to echo.
  if (value == nullptr) {
    const Variant empty;
    return call.ReturnVariant(*empty.Get());
  }
  return call.ReturnVariant(*value->Get());
}

HRESULT HandwritingObject::ExecuteHandWrite(DispatchCall& call) {
  const FieldAlphabet alphabet =
      FieldAlphabet::FromText(FieldText(kBase64String)).value_or(FieldAlphabet());
  const WindowTexts texts = TextsForLanguage(language_);

  platform::ui::WritingWindowSetup setup;
  setup.caption = texts.caption;
  setup.pinLabel = texts.pinLabel;
  setup.clearLabel = texts.clearLabel;
  setup.keyNumber = FieldText(u"KeyNumber");
  for (const auto& [name, value] : fields_) {
    if (std::find(kNotSettings.begin(), kNotSettings.end(), name) != kNotSettings.end()) continue;
    if (const auto text = value.AsString()) setup.settings.push_back({name, *text});
  }
  setup.penWidths = DecodeList(alphabet, FieldText(kPenWidthList));
  setup.penWidthSetting = std::u16string(kHandPenWidth);
  setup.usualTexts = DecodeList(alphabet, FieldText(kUsuallyList));

  platform::ui::WritingWindow window(std::move(setup));
  const int answer = window.DoModal(platform::ui::ActiveWindow());

  if (answer != platform::ui::kIdOk || !window.HasPicture()) {
    // Nothing written: no signature and no PIN; the settings stay as they were given.
    SetField(kSignatureValue, Variant(u""));
    SetField(kHandPassword, Variant(u""));
    Trace("the window was closed without a signature");
    return call.ReturnInt(kHandNothingWritten);
  }
  const auto& picture = window.Picture();
  SetField(kSignatureValue,
           Variant(alphabet.Encode(std::string_view(reinterpret_cast<const char*>(picture.data()), picture.size()))));
  std::u16string pin = window.Pin();
  SetField(kHandPassword, Variant(pin));
  std::fill(pin.begin(), pin.end(), u'\0');
  for (const auto& setting : window.Settings()) {
    const Variant* before = Field(setting.name);
    if (before == nullptr || before->AsString() != setting.value) SetField(setting.name, Variant(setting.value));
  }
  return call.ReturnInt(kHandWritten);
}

}  // namespace sealrun::components::handwriting
