#include "signing/Placement.h"

#include <cmath>
#include <string>

#include "external/QpHandles.h"
#include "signing/PlacementCorners.h"

namespace sealrun::signing {

namespace {

using external::LoadPage;
using external::PageHandle;
using external::SearchHandle;
using external::TextHandle;

bool KeywordModeApplies(const PlacementSettings& settings) {
  return !settings.keyword.empty() && settings.pageSetting != kPageSettingUnset && settings.keywordMode;
}

Placement Failed(PlacementFailure failure) {
  Placement placement;
  placement.failure = failure;
  return placement;
}

Placement KeywordPlacement(qp_document document, int32_t last, const PlacementSettings& settings) {
  const int32_t setting = settings.pageSetting;
  // Only the automation property can carry such a value; as a page index it would reach the engine as
  // nonsense, so the document fails like any other placement failure.
  if (setting < kPageSettingAllPages) return Failed(PlacementFailure::PageSettingInvalid);
  if (setting > last) return Failed(PlacementFailure::PageBeyondLast);

  int32_t page = setting;
  KeywordCenter center;
  if (setting == kPageSettingAllPages) {
    for (page = last; page >= 0; --page) {
      center = FindKeywordCenter(document, settings.keyword, page);
      if (center.found) break;
    }
  } else {
    center = FindKeywordCenter(document, settings.keyword, page);
  }
  if (!center.found) return Failed(PlacementFailure::KeywordNotFound);

  auto record = MakeKeywordTemplate(document, page, center.x, center.y, settings.stampWidth, settings.stampHeight);
  if (!record) return Failed(PlacementFailure::EngineFailure);
  Placement placement;
  placement.record = std::move(*record);
  return placement;
}

}  // namespace

Placement SelectPlacement(qp_document document, int32_t lastPageIndex, const PlacementSettings& settings) {
  Placement placement;
  if (KeywordModeApplies(settings)) {
    placement = KeywordPlacement(document, lastPageIndex, settings);
    if (!placement.Succeeded()) return placement;
  } else {
    if (settings.selectedTemplate == nullptr) return Failed(PlacementFailure::NoTemplate);
    placement.record = *settings.selectedTemplate;
  }
  if (placement.record.pageIndex > lastPageIndex || placement.record.pageIndex < 0)
    return Failed(PlacementFailure::TemplatePageBeyondLast);
  return placement;
}

KeywordCenter FindKeywordCenter(qp_document document, std::u16string_view keyword, int32_t pageIndex) {
  if (keyword.empty()) return {};
  qp_search rawSearch = nullptr;
  const int created = qp_document_search(document, &rawSearch);
  const SearchHandle search(rawSearch);
  if (created != QP_OK || !search) return {};
  const std::u16string text(keyword);  // the engine reads it up to its terminating zero
  if (qp_search_set_option(search.get(), QP_SEARCH_OPTION_TEXT, text.c_str()) != QP_OK) return {};

  const PageHandle page = LoadPage(document, pageIndex);
  if (!page) return {};
  qp_text rawText = nullptr;
  void* second = nullptr;
  const int loaded = qp_page_load_text(page.get(), &rawText, &second, 0);
  const TextHandle pageText(rawText);
  if (loaded != QP_OK || !pageText) return {};

  qp_search_first(search.get(), pageText.get());
  qp_search_prev(search.get(), pageText.get());
  int first = 0;
  int count = 0;
  if (qp_search_result(search.get(), &first, &count) != QP_OK || count <= 0) return {};

  qp_char_info firstChar{};
  qp_char_info lastChar{};
  if (qp_page_text_char(pageText.get(), first, 1, &firstChar) != QP_OK ||
      qp_page_text_char(pageText.get(), first + count - 1, 1, &lastChar) != QP_OK)
    return {};
  KeywordCenter center;
  center.x = firstChar.x0 + std::fabs((lastChar.x1 - firstChar.x0) * 0.5);
  center.y = firstChar.y0 + std::fabs((lastChar.y1 - firstChar.y0) * 0.5);
  center.found = true;
  return center;
}

int32_t PixelsToPoints(int32_t pixels) { return static_cast<int32_t>(int64_t{pixels} * 72 / 96); }

std::optional<TargetPage> ReadTargetPage(qp_document document, int32_t pageIndex) {
  const PageHandle page = LoadPage(document, pageIndex);
  if (!page) return std::nullopt;
  TargetPage target;
  double media[4] = {};
  double crop[4] = {};
  int rotation = 0;
  if (qp_page_box(page.get(), QP_BOX_MEDIA, media) != QP_OK || qp_page_box(page.get(), QP_BOX_CROP, crop) != QP_OK ||
      qp_page_rotate(page.get(), &rotation) != QP_OK)
    return std::nullopt;
  target.mediaBox = {media[0], media[1], media[2], media[3]};
  target.cropBox = {crop[0], crop[1], crop[2], crop[3]};
  target.rotation = NormaliseRotation(rotation);
  return target;
}

std::optional<SealTemplate> MakeKeywordTemplate(qp_document document, int32_t pageIndex, double x, double y,
                                                int32_t stampWidth, int32_t stampHeight) {
  const auto target = ReadTargetPage(document, pageIndex);
  if (!target) return std::nullopt;
  const int32_t width = PixelsToPoints(stampWidth);
  const int32_t height = PixelsToPoints(stampHeight);
  const int32_t halfWidth = width / 2;
  const int32_t halfHeight = height / 2;

  // The hit is in user space; the record is in the page's displayed frame, like a pre-stamp's.
  const DisplayedFrame frame(VisibleBox(*target), target->rotation);
  const PagePoint center = frame.FromUser({x, y});
  SealTemplate record;
  record.left = center.x - halfWidth;
  record.top = center.y - halfHeight;
  record.right = record.left + width;
  record.bottom = record.top + height;
  record.pageIndex = pageIndex;
  record.pageRotation = target->rotation;
  record.imageRotation = 0;
  record.pageWidth = frame.Width();
  record.pageHeight = frame.Height();
  ComputeCornerOffsets(record);
  return record;
}

std::optional<SealRect> ComputeSealRect(qp_document document, const SealTemplate& record) {
  const auto target = ReadTargetPage(document, record.pageIndex);
  if (!target) return std::nullopt;
  return ComputeSealRect(*target, record);
}

}  // namespace sealrun::signing
