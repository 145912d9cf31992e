#pragma once
// The bytes of a signed file: where a signature's byte range lies, whether it frames exactly the
// /Contents string and covers a whole revision, and comparing the pages of that revision with now.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/pdfengine/Internal.h"

namespace sealrun::platform::pdfengine {

struct SignedRevision {
  std::size_t holeStart = 0;  // offset of '<'
  std::size_t holeEnd = 0;    // offset after '>'
  std::size_t end = 0;        // end of the second range: the end of the signed revision
  bool holeIsContents = false;
  bool coversRevision = false;  // starts at 0, ends at a revision's %%EOF, hole is only /Contents
};

SignedRevision CheckByteRange(std::string_view file, const int64_t range[4]);
// The /Contents bytes, hex-decoded.
std::string ContentsBytes(std::string_view file, const SignedRevision& revision);

bool ReadWholeFile(const std::string& path, std::string& out);
// The bytes of the file the document was read from: the engine's own copy when it holds all of it (so a
// signature is checked over exactly the bytes the engine parsed), else the file read again into `storage`.
// Throws when the file cannot be read.
std::string_view DocumentFileBytes(qp_document document, std::string& storage);
// Writes bytes into an existing (empty) file, such as a CopyBeside.
bool WriteWholeFile(const std::string& path, const std::string& bytes);

// Reads the document again from its file (after the file was replaced or a copy staged).
void ReloadDocument(qp_document document);
// Puts a finished copy in place of the document's file (after the locked identity check), or keeps it as the
// staged copy when saves are staged; then reads the document back from it. Throws QP_ERR_SAVE on failure,
// the file untouched.
void PutCopyInPlace(qp_document document, std::unique_ptr<CopyBeside> copy);

// Whether the current document's pages differ from those of the signed revision: page tree,
// content streams, resources, boxes and rotation.
bool PagesChangedSince(qp_document document, const std::string& signedRevision);

}  // namespace sealrun::platform::pdfengine
