#pragma once
// The seals of the inserted key as the signing dialog offers them: one record per seal index of the key,
// the pictures of the seals that can be stamped (as the key hands them over), the names listed in the
// dialog's seal list, and the key serial number. The signing dialog owns the catalogue; it dies with it.
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/Variant.h"

namespace sealrun::platform::ui {
class ComboBox;
}

namespace sealrun::seal {

// One seal of the key, by the names of its header object's properties.
struct SealRecord {
  std::u16string SignName;      // shown in the seal list; the key for records and pictures
  std::u16string UnitName;      // organisation the seal belongs to
  std::u16string UserName;      // holder of the seal
  std::u16string SerialNumber;  // the seal's serial number
  std::u16string SignExt;       // extension of the stored picture (".gif"); decides whether it can be stamped
};

// A listed seal: its name and its picture VARIANT exactly as DeCodeImgData returned it (empty when
// decoding failed).
struct SealPicture {
  std::u16string name;
  platform::com::Variant picture;
};

class SealCatalogue {
 public:
  // Receives each listed name with the seal list position it goes to.
  using SealListSink = std::function<void(int position, const std::u16string& name)>;

  // The records the dialog has room for before the catalogue grows.
  static constexpr int kInitialRecordSlots = 50;

  SealCatalogue();

  // Reads the key's seals. Every seal gets its record at its key index; a seal whose picture is not
  // ".zqf" or ".bmp" (any case) also gets its picture and is listed at the next position. A second load
  // (after a failed picture lookup) lists only names that are not listed yet, so positions in the seal
  // list keep matching positions in the picture list. True when this load listed at least one seal.
  bool LoadSealCatalogue(const SealListSink& sealList);
  // The same, filling the dialog's seal list.
  bool LoadSealCatalogue(platform::ui::ComboBox& sealList);

  // Index of the first record whose name equals `name` (case-sensitive), or -1.
  int FindSealRecord(std::u16string_view name) const;
  // Position of the first picture listed under `name`, or -1.
  int FindSealPicture(std::u16string_view name) const;
  // FindSealPicture; when the name is not found the catalogue is loaded again (a key inserted since) and
  // the lookup repeated. -1 when the name is still unknown: nothing may be stamped then.
  int LookupSealPicture(std::u16string_view name, platform::ui::ComboBox& sealList);
  int LookupSealPicture(std::u16string_view name, const SealListSink& sealList);

  // Records by key seal index; at least kInitialRecordSlots entries, more for a key with more seals.
  const std::vector<SealRecord>& Records() const { return records_; }
  const std::vector<SealPicture>& Pictures() const { return pictures_; }
  // The bytes of the picture at a list position (empty for a bad position or an empty picture).
  std::span<const uint8_t> PictureBytes(int position) const;
  // The listed names in seal list order.
  std::vector<std::u16string> ListedNames() const;
  const std::u16string& KeySerial() const { return keySerial_; }

 private:
  std::vector<SealRecord> records_;
  std::vector<SealPicture> pictures_;
  std::u16string keySerial_;
};

}  // namespace sealrun::seal
