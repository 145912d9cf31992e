#pragma once
// One open document as the host keeps it: the engine document, its pages and their annotation handles
// (loaded once per page so that an annotation keeps the engine state it was given), the page geometry,
// the page view, and the document's small state (interaction, current annotation, redraw count).
// The COM objects of a document share it; once closed they answer E_UNEXPECTED.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "external/QpHandles.h"
#include "platform/host/PageGeometry.h"
#include "platform/host/ViewModel.h"

namespace sealrun::platform::host {

// Names an annotation across saves: its page and its object number (or, for a direct dictionary, its
// position in /Annots).
struct AnnotationRef {
  int pageIndex = -1;
  int objectNumber = 0;
  int position = -1;
  bool operator==(const AnnotationRef&) const = default;
};

class DocumentCore {
  struct ConstructionKey {
    explicit ConstructionKey() = default;
  };

 public:
  // The document, or null with the engine's result in `result`.
  static std::shared_ptr<DocumentCore> Open(qp_engine engine, const std::u16string& path, int& result);
  // Made only by Open: the key type is private.
  explicit DocumentCore(ConstructionKey);
  ~DocumentCore() { Close(); }
  DocumentCore(const DocumentCore&) = delete;
  DocumentCore& operator=(const DocumentCore&) = delete;

  bool IsOpen() const { return document_ != nullptr; }
  void Close();
  const std::u16string& Path() const { return path_; }
  qp_document Handle() const { return document_.get(); }

  int PageCount() const { return static_cast<int>(geometry_.size()); }
  // Null for a page that does not exist.
  const PageGeometry* Geometry(int pageIndex) const;
  // The engine page, loaded on first use; null when it does not load.
  qp_page Page(int pageIndex);

  // The page's annotations in /Annots order (handles valid until the next save or close).
  std::vector<qp_annot> Annotations(int pageIndex);
  std::optional<AnnotationRef> RefOf(int pageIndex, qp_annot annotation);
  qp_annot Resolve(const AnnotationRef& ref);
  // A new image annotation at the end of the page's list; null on failure.
  qp_annot AddImageAnnotation(int pageIndex);
  // Removes it from its page; false when it is not there.
  bool DeleteAnnotation(const AnnotationRef& ref);

  // Appends an incremental update; the engine result. Page and annotation handles are loaded afresh
  // afterwards.
  int Save();

  ViewModel& View() { return view_; }
  int32_t interaction = 0;
  int32_t redrawCount = 0;
  std::optional<AnnotationRef> selected;

 private:
  struct PageSlot {
    external::PageHandle page;
    bool annotsLoaded = false;
    std::vector<qp_annot> annots;
    std::vector<int> objectNumbers;
  };

  PageSlot* LoadedSlot(int pageIndex);
  void LoadAnnots(PageSlot& slot);

  std::u16string path_;
  external::DocumentHandle document_;
  std::vector<PageGeometry> geometry_;
  std::vector<PageSlot> pages_;
  ViewModel view_;
};

// A page's frames as the host reads them from the engine: CropBox (MediaBox when there is none), MediaBox
// (Letter size when the engine gives none) and /Rotate.
PageGeometry ReadPageGeometry(qp_document document, int pageIndex);

using external::AnnotationObjectNumber;

}  // namespace sealrun::platform::host
