#include "seal/SealCatalogue.h"

#include "platform/text/Utf.h"
#include "platform/ui/Controls.h"
#include "seal/AutomationObject.h"
#include "seal/AutomationValues.h"
#include "seal/ComponentIds.h"
#include "seal/SealTrace.h"

namespace sealrun::seal {

using namespace platform::com;

namespace {

std::u16string HeaderText(const AutomationObject& header, std::u16string_view property) {
  Variant value;
  header.Get(property, value);
  return TextOf(value);
}

// Seals kept as ".zqf" or ".bmp" are not stamped.
bool CanBeStamped(std::u16string_view extension) {
  return !platform::text::EqualsIgnoreAsciiCase(extension, u".zqf") &&
         !platform::text::EqualsIgnoreAsciiCase(extension, u".bmp");
}

}  // namespace

SealCatalogue::SealCatalogue() : records_(kInitialRecordSlots) {}

bool SealCatalogue::LoadSealCatalogue(const SealListSink& sealList) {
  const AutomationObject key = AutomationObject::Create(kKeyObjectClsid);
  if (!key.IsValid()) return false;
  key.Call(u"WebCreateKeyObject");
  key.Call(u"WebOpenKeyObject");
  Variant serial(u"");
  key.Call(u"WebGetKeySerialNumber", {}, serial);
  keySerial_ = TextOf(serial);
  key.Call(u"WebLoadSignatureEx", {Variant(true), Variant(int32_t{-1})});

  Variant countAnswer;
  key.Get(u"SignCount", countAnswer);
  // The count is read as a signed 16-bit number: anything at or below 0 means no seal.
  const int count = LowWord(NumberOf(countAnswer).value_or(0));
  if (count <= 0) {
    key.Call(u"WebDeleteKeyObject");
    return false;
  }
  // A key with more seals than the dialog's slots: every seal keeps its record.
  if (records_.size() < static_cast<size_t>(count)) records_.resize(static_cast<size_t>(count));

  const bool reload = !pictures_.empty();
  int listed = 0;
  for (int index = 0; index < count; ++index) {
    key.Call(u"WebLoadSignatureEx", {Variant(true), Variant(int32_t{index})});
    Variant headerAnswer;
    const HRESULT hr = key.Get(u"HeadInformations", headerAnswer, {Variant(int32_t{index})});
    const VARIANT& raw = *headerAnswer.Get();
    if (FAILED(hr) || raw.vt != VT_DISPATCH || raw.pdispVal == nullptr) {
      // No header object: the seal cannot be described or stamped.
      SealTrace(u"印章头信息缺失 " + platform::text::Widen(std::to_string(index)));
      continue;
    }
    const AutomationObject header = AutomationObject::FromDispatch(raw.pdispVal);
    SealRecord& record = records_[static_cast<size_t>(index)];
    record.SignName = HeaderText(header, u"SignName");
    record.SerialNumber = HeaderText(header, u"SerialNumber");
    record.UserName = HeaderText(header, u"UserName");
    record.UnitName = HeaderText(header, u"UnitName");
    record.SignExt = HeaderText(header, u"SignExt");
    if (!CanBeStamped(record.SignExt)) continue;
    if (reload && FindSealPicture(record.SignName) >= 0) continue;

    Variant imgValue;
    header.Get(u"ImgValue", imgValue);
    Variant picture;
    key.Call(u"DeCodeImgData", {imgValue}, picture);
    pictures_.push_back(SealPicture{record.SignName, std::move(picture)});
    if (sealList) sealList(static_cast<int>(pictures_.size()) - 1, record.SignName);
    ++listed;
  }
  key.Call(u"WebDeleteKeyObject");
  return listed > 0;
}

bool SealCatalogue::LoadSealCatalogue(platform::ui::ComboBox& sealList) {
  return LoadSealCatalogue([&sealList](int, const std::u16string& name) { sealList.AddString(name); });
}

int SealCatalogue::FindSealRecord(std::u16string_view name) const {
  for (size_t i = 0; i < records_.size(); ++i)
    if (records_[i].SignName == name) return static_cast<int>(i);
  return -1;
}

int SealCatalogue::FindSealPicture(std::u16string_view name) const {
  for (size_t i = 0; i < pictures_.size(); ++i)
    if (pictures_[i].name == name) return static_cast<int>(i);
  return -1;
}

int SealCatalogue::LookupSealPicture(std::u16string_view name, const SealListSink& sealList) {
  if (const int position = FindSealPicture(name); position >= 0) return position;
  LoadSealCatalogue(sealList);
  return FindSealPicture(name);
}

int SealCatalogue::LookupSealPicture(std::u16string_view name, platform::ui::ComboBox& sealList) {
  return LookupSealPicture(name, [&sealList](int, const std::u16string& listed) { sealList.AddString(listed); });
}

std::span<const uint8_t> SealCatalogue::PictureBytes(int position) const {
  if (position < 0 || static_cast<size_t>(position) >= pictures_.size()) return {};
  return SealPictureBytes(*pictures_[static_cast<size_t>(position)].picture.Get());
}

std::vector<std::u16string> SealCatalogue::ListedNames() const {
  std::vector<std::u16string> names;
  names.reserve(pictures_.size());
  for (const auto& picture : pictures_) names.push_back(picture.name);
  return names;
}

}  // namespace sealrun::seal
