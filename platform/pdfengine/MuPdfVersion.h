#pragma once
// The one MuPDF release the engine is written for. The engine reaches past MuPDF's public functions in a
// few places (the document's encryption state, the pending signatures of the first cross-reference section
// that a signature save swaps out, the layout of pdf_document and pdf_xref), so another release can change
// how files are saved or signed without any compiler error. Moving to another release means reading those
// places against its sources, then changing this number and the one in cmake/MuPdf.cmake.
extern "C" {
#include <mupdf/fitz/version.h>
}

#define SEALRUN_MUPDF_VERSION "1.21.1"

static_assert(FZ_VERSION_MAJOR == 1 && FZ_VERSION_MINOR == 21 && FZ_VERSION_PATCH == 1,
              "the engine is written for MuPDF " SEALRUN_MUPDF_VERSION ", and this build found MuPDF " FZ_VERSION);
