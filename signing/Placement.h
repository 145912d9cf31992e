#pragma once
// Seal placement for one opened target document: which page the seal goes on and where, either from a
// template record (keeping the distance to the nearest displayed corner) or centred on a keyword hit.
#include <cstdint>
#include <optional>
#include <string_view>

#include "external/qp.h"
#include "signing/PlacementFrame.h"
#include "signing/SealTemplate.h"

namespace sealrun::signing {

// The page setting as stored: the page number typed by the user minus one.
inline constexpr int32_t kPageSettingUnset = -100;  // never set
inline constexpr int32_t kPageSettingAllPages = -1;  // every page, from the last one backwards

struct PlacementSettings {
  std::u16string_view keyword;                 // empty: no keyword
  int32_t pageSetting = kPageSettingUnset;
  bool keywordMode = false;                    // the "文字定位" choice of the signing dialog
  const SealTemplate* selectedTemplate = nullptr;  // the dialog's record of the chosen template entry
  int32_t stampWidth = 0;                      // pixel size of the image prepared for stamping
  int32_t stampHeight = 0;
};

enum class PlacementFailure {
  None,
  NoTemplate,              // template mode without a chosen record
  PageSettingInvalid,      // a page setting below -1 (other than unset)
  PageBeyondLast,          // the keyword's page does not exist in this document
  KeywordNotFound,
  TemplatePageBeyondLast,  // the record's page does not exist in this document
  EngineFailure,
};

struct Placement {
  PlacementFailure failure = PlacementFailure::None;
  SealTemplate record;
  bool Succeeded() const { return failure == PlacementFailure::None; }
};

// Chooses the placement record for one document whose last page index is lastPageIndex.
Placement SelectPlacement(qp_document document, int32_t lastPageIndex, const PlacementSettings& settings);

struct KeywordCenter {
  double x = 0;  // user space
  double y = 0;
  bool found = false;
};

// The centre of the keyword's hit on one page, from its first character's lower-left corner to its last
// character's upper-right corner. found is false when the page does not hold the keyword.
KeywordCenter FindKeywordCenter(qp_document document, std::u16string_view keyword, int32_t pageIndex);

// Seal image pixels to points at 96 pixels per inch, truncated.
int32_t PixelsToPoints(int32_t pixels);

// The record that centres a seal of the stamping image's size on the user-space point (x, y) of the
// page, in the page's displayed frame. Empty when the page cannot be read.
std::optional<SealTemplate> MakeKeywordTemplate(qp_document document, int32_t pageIndex, double x, double y,
                                                int32_t stampWidth, int32_t stampHeight);

// The boxes and rotation of a page. Empty when the page cannot be read.
std::optional<TargetPage> ReadTargetPage(qp_document document, int32_t pageIndex);

// The seal's rectangle and annotation rotation on the record's page of the document, ready for
// qp_annot_set_rect and qp_annot_set_rotate. Empty when the page cannot be read.
std::optional<SealRect> ComputeSealRect(qp_document document, const SealTemplate& record);

}  // namespace sealrun::signing
