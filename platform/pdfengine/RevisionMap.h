#pragma once
// Which cross-reference sections of a file make up which revision, and where each revision ends. MuPDF keeps
// one section per cross-reference it read (newest first, after any sections of unsaved changes) but not where
// they lie in the file; the offsets come from the startxref and /Prev chain, and a revision ends with the
// "startxref <its section's offset> %%EOF" that a writer puts after each update.
#include <cstdint>
#include <vector>

#include "platform/pdfengine/Internal.h"

namespace sealrun::platform::pdfengine {

struct RevisionMap {
  bool known = false;
  // Per file section, newest first (MuPDF's order without the sections of unsaved changes): its revision.
  std::vector<int> revisionOfSection;
  // Per revision, oldest first: the offset right after its "%%EOF", and after the end of line that follows.
  std::vector<std::int64_t> eofEnds;
  std::vector<std::int64_t> ends;

  int Count() const { return known ? static_cast<int>(ends.size()) : -1; }
};

// Works the map out from the document as read. A section without an end of its own belongs to the revision
// whose bytes hold it (the main section of a linearized original; an update written with two
// cross-references). Unknown for a rebuilt cross-reference, a /Prev chain that does not match the sections
// MuPDF holds, or sections whose ends and offsets do not line up.
RevisionMap ReadRevisionMap(fz_context* ctx, pdf_document* doc);

// The document's map, worked out on first use and kept; unknown once MuPDF has rebuilt the
// cross-reference (which it may do while loading a damaged object, long after opening).
const RevisionMap& RevisionsOf(qp_document document);

// The file sections of the document as MuPDF holds them: the index of the newest one (after any sections
// of unsaved changes) and how many there are.
int FirstFileSection(pdf_document* doc);
int FileSectionCount(pdf_document* doc);

}  // namespace sealrun::platform::pdfengine
