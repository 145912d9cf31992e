#pragma once
// The bytes of a signed file: where a signature's byte range lies, whether it frames exactly the
// /Contents string and covers a whole revision, and comparing the pages of that revision with now.
#include <cstdint>
#include <string>

#include "platform/pdfengine/Internal.h"

namespace sealrun::platform::pdfengine {

struct SignedRevision {
  std::size_t holeStart = 0;  // offset of '<'
  std::size_t holeEnd = 0;    // offset after '>'
  std::size_t end = 0;        // end of the second range: the end of the signed revision
  bool holeIsContents = false;
  bool coversRevision = false;  // starts at 0, ends at a revision's %%EOF, hole is only /Contents
};

SignedRevision CheckByteRange(const std::string& file, const int64_t range[4]);
// The /Contents bytes, hex-decoded.
std::string ContentsBytes(const std::string& file, const SignedRevision& revision);

bool ReadWholeFile(const std::string& path, std::string& out);
bool WriteWholeFile(const std::string& path, const std::string& bytes);

// Reads the document again from its file (after the file was replaced).
void ReloadDocument(qp_document document);

// Whether the current document's pages differ from those of the signed revision: page tree,
// content streams, resources, boxes and rotation.
bool PagesChangedSince(qp_document document, const std::string& signedRevision);

}  // namespace sealrun::platform::pdfengine
