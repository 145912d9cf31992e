#pragma once
// Saving a file whose cross-reference had to be rebuilt on open. Its own cross-reference cannot be continued,
// and writing the file out whole would break its signatures and lose its bytes; instead the update is
// appended after the original bytes with a cross-reference that lists every object of the document (the
// unchanged ones where the rebuild found them) and no link back into the broken one.
#include <string>

#include "platform/pdfengine/Internal.h"

namespace sealrun::platform::pdfengine {

// Writes the original bytes and the document's changes into the empty file `copyPath`, completing a pending
// signature over the finished file. Throws QP_ERR_UNSUPPORTED when the rebuilt document cannot be listed
// completely (an object with no place in the file), other engine errors when writing fails.
void SaveRepairedUpdate(fz_context* ctx, pdf_document* doc, const std::string& copyPath);

}  // namespace sealrun::platform::pdfengine
