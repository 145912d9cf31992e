#pragma once
// One read of a personal settings file ("BatchPDFConfig.dll" or "OrtavexConfig.dll"): a text slot for each
// key the system uses, absent until the key is found. The same reader serves both files; each caller
// takes the slots it needs.
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace sealrun::config {

enum class ProductKey : std::size_t {
  SigFilePath,
  SignatureMode,
  PenPressure,
  PenWidthList,
  HandPenWidth,
  HandPenTrans,
  HandPenColor,
  UsuallyList,
  HandFontName,
  HandFontSize,
  CharSet,
  ZoomHand,
  HandWriteWidth,
  HandWriteHeight,
  WFFontName,
  WFFontSize,
  WFCharSet,
  WFColor,
  WFfsBold,
  WFfsItalic,
  WFfsUnderline,
  WFfsStrikeOut,
  Count
};

// The key's element name as it stands in the file.
std::u16string_view ProductKeyName(ProductKey key);
// The key of an element name (matched case-sensitively), or nullopt for a name the system does not use.
std::optional<ProductKey> ProductKeyFromName(std::u16string_view name);

class ProductSettings {
 public:
  const std::optional<std::u16string>& Get(ProductKey key) const { return slots_[static_cast<std::size_t>(key)]; }
  // The value, or `fallback` when the key was absent.
  std::u16string ValueOr(ProductKey key, std::u16string_view fallback) const;
  void Set(ProductKey key, std::u16string value) { slots_[static_cast<std::size_t>(key)] = std::move(value); }

 private:
  std::array<std::optional<std::u16string>, static_cast<std::size_t>(ProductKey::Count)> slots_;
};

// Reads a personal file found by ResolvePersonalConfigPath(fileName, folder). A file that cannot be loaded
// is (re)created from the template first; when even that fails every slot stays absent.
ProductSettings ReadProductSettings(std::u16string_view fileName, std::u16string_view folder);

// Sets the text of `key` in the personal file of the default folder and saves it. The first element with
// that name is changed; when the file has none, the key is added to its first section so the value is
// remembered. False when the file cannot be loaded, created or written.
bool WriteProductKey(std::u16string_view fileName, std::u16string_view key, std::u16string_view value);

}  // namespace sealrun::config
