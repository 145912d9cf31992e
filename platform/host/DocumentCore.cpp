#include "platform/host/DocumentCore.h"

#include <algorithm>

namespace sealrun::platform::host {

DocumentCore::DocumentCore(ConstructionKey) {}

std::shared_ptr<DocumentCore> DocumentCore::Open(qp_engine engine, const std::u16string& path, int& result) {
  external::DocumentHandle document;
  result = external::OpenDocument(engine, path, document);
  if (result != QP_OK) return nullptr;
  const int count = qp_page_count(document.get());
  if (count < 0) {
    result = QP_ERR_OPEN;
    return nullptr;
  }
  auto core = std::make_shared<DocumentCore>(ConstructionKey{});
  core->path_ = path;
  std::vector<Point> sizes;
  for (int i = 0; i < count; ++i) {
    core->geometry_.push_back(ReadPageGeometry(document.get(), i));
    sizes.push_back({core->geometry_.back().Width(), core->geometry_.back().Height()});
  }
  core->pages_.resize(static_cast<size_t>(count));
  core->view_.SetPages(std::move(sizes));
  core->document_ = std::move(document);
  return core;
}

PageGeometry ReadPageGeometry(qp_document document, int pageIndex) {
  // Letter size when the engine gives no box.
  double crop[4] = {0, 0, 612, 792};
  double media[4] = {0, 0, 612, 792};
  qp_page_get_box(document, pageIndex, QP_BOX_MEDIA, media);
  if (qp_page_get_box(document, pageIndex, QP_BOX_CROP, crop) != QP_OK) std::copy(media, media + 4, crop);
  int rotate = 0;
  if (const external::PageHandle page = external::LoadPage(document, pageIndex)) qp_page_rotate(page.get(), &rotate);
  return PageGeometry(Box{crop[0], crop[1], crop[2], crop[3]}, Box{media[0], media[1], media[2], media[3]}, rotate);
}

void DocumentCore::Close() {
  // Pages before the document, as the engine requires.
  pages_.clear();
  document_.reset();
  selected.reset();
}

const PageGeometry* DocumentCore::Geometry(int pageIndex) const {
  if (pageIndex < 0 || pageIndex >= PageCount()) return nullptr;
  return &geometry_[static_cast<size_t>(pageIndex)];
}

DocumentCore::PageSlot* DocumentCore::LoadedSlot(int pageIndex) {
  if (!IsOpen() || pageIndex < 0 || pageIndex >= PageCount()) return nullptr;
  PageSlot& slot = pages_[static_cast<size_t>(pageIndex)];
  if (!slot.page) {
    slot.page = external::LoadPage(document_.get(), pageIndex);
    if (!slot.page) return nullptr;
    slot.annotsLoaded = false;
  }
  return &slot;
}

qp_page DocumentCore::Page(int pageIndex) {
  PageSlot* slot = LoadedSlot(pageIndex);
  return slot ? slot->page.get() : nullptr;
}

void DocumentCore::LoadAnnots(PageSlot& slot) {
  if (slot.annotsLoaded) return;
  slot.annots.clear();
  slot.objectNumbers.clear();
  for (qp_annot annot = qp_page_load_annots(slot.page.get()); annot != nullptr; annot = qp_annot_next(annot)) {
    slot.annots.push_back(annot);
    slot.objectNumbers.push_back(AnnotationObjectNumber(annot));
  }
  slot.annotsLoaded = true;
}

std::vector<qp_annot> DocumentCore::Annotations(int pageIndex) {
  PageSlot* slot = LoadedSlot(pageIndex);
  if (slot == nullptr) return {};
  LoadAnnots(*slot);
  return slot->annots;
}

std::optional<AnnotationRef> DocumentCore::RefOf(int pageIndex, qp_annot annotation) {
  PageSlot* slot = LoadedSlot(pageIndex);
  if (slot == nullptr) return std::nullopt;
  LoadAnnots(*slot);
  const auto found = std::find(slot->annots.begin(), slot->annots.end(), annotation);
  if (found == slot->annots.end()) return std::nullopt;
  const size_t position = static_cast<size_t>(found - slot->annots.begin());
  return AnnotationRef{pageIndex, slot->objectNumbers[position], static_cast<int>(position)};
}

qp_annot DocumentCore::Resolve(const AnnotationRef& ref) {
  PageSlot* slot = LoadedSlot(ref.pageIndex);
  if (slot == nullptr) return nullptr;
  LoadAnnots(*slot);
  if (ref.objectNumber != 0) {
    for (size_t i = 0; i < slot->annots.size(); ++i)
      if (slot->objectNumbers[i] == ref.objectNumber) return slot->annots[i];
    return nullptr;
  }
  if (ref.position < 0 || static_cast<size_t>(ref.position) >= slot->annots.size()) return nullptr;
  const size_t position = static_cast<size_t>(ref.position);
  return slot->objectNumbers[position] == 0 ? slot->annots[position] : nullptr;
}

qp_annot DocumentCore::AddImageAnnotation(int pageIndex) {
  PageSlot* slot = LoadedSlot(pageIndex);
  if (slot == nullptr) return nullptr;
  LoadAnnots(*slot);
  qp_annot created = qp_page_create_annotation(slot->page.get(), QP_ANNOT_IMAGE_STAMP);
  if (created == nullptr) return nullptr;
  slot->annots.push_back(created);
  slot->objectNumbers.push_back(AnnotationObjectNumber(created));
  return created;
}

bool DocumentCore::DeleteAnnotation(const AnnotationRef& ref) {
  qp_annot annot = Resolve(ref);
  if (annot == nullptr) return false;
  PageSlot& slot = pages_[static_cast<size_t>(ref.pageIndex)];
  const auto found = std::find(slot.annots.begin(), slot.annots.end(), annot);
  if (qp_annot_delete(annot) != QP_OK) return false;
  const auto position = found - slot.annots.begin();
  slot.annots.erase(found);
  slot.objectNumbers.erase(slot.objectNumbers.begin() + position);
  if (selected == ref) selected.reset();
  return true;
}

int DocumentCore::Save() {
  if (!IsOpen()) return QP_ERR_ARGUMENT;
  const int result = qp_document_save(document_.get());
  // The engine reads the saved file back: every page and annotation handle is taken afresh.
  for (PageSlot& slot : pages_) {
    slot.annots.clear();
    slot.objectNumbers.clear();
    slot.annotsLoaded = false;
    slot.page.reset();
  }
  return result;
}

}  // namespace sealrun::platform::host
