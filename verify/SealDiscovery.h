#pragma once
// Which objects of a document are seals, how their records are read, and which seal is the latest. A seal
// is either a "Brasmoor:AddSeal" annotation carrying its record in /Info /BaseInfo, or a signed form field
// carrying its record as private data "QPX".
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "external/QpHandles.h"
#include "verify/PdfNames.h"

namespace sealrun::verify {

// Records are a few hundred bytes; anything past this is not a record this system wrote and is not read
// (a hostile stream could otherwise decompress into any amount of memory).
inline constexpr std::size_t kMaxRecordBytes = 64 * 1024;

// Exact, case-sensitive subtype test.
bool IsSealAnnotation(qp_annot annotation);
using external::AnnotationObjectNumber;

enum class RecordState {
  None,        // no /Info, no /BaseInfo stream, or an empty one: not counted as a seal by verification
  Unreadable,  // another version, an oversized or unreadable stream: a seal whose record says nothing
  Readable,
};

struct SealRecordText {
  RecordState state = RecordState::None;
  std::u16string text;  // empty unless Readable
};

// The record of a seal annotation, from the annotation or from its dictionary.
SealRecordText SealAnnotationReader(qp_annot annotation);
SealRecordText SealRecordReader(qp_cos annotationDict);
// The record of a signed field; empty text when the field has no (or an oversized) private data.
std::u16string SignatureFieldReader(qp_field field);

// Visits every seal annotation, pages in order and each page's annotations in engine order. False when a
// page could not be loaded (the walk goes on with the next page).
using SealAnnotationVisitor = std::function<void(int pageIndex, qp_annot annotation)>;
bool ForEachSealAnnotation(qp_document document, const SealAnnotationVisitor& visit);

// Visits every form field that carries a signature, in engine order; the signature object is released
// after the visit.
using SignedFieldVisitor = std::function<void(qp_field field, qp_signature signature)>;
void ForEachSignedField(qp_document document, const SignedFieldVisitor& visit);

struct LatestSealAnnotation {
  int pageIndex = 0;
  int objectNumber = 0;
};
// The seal annotation with the highest object number (the earliest page on a tie); nullopt when the
// document has no seal annotation that is an indirect object.
std::optional<LatestSealAnnotation> FindLatestSealAnnotation(qp_document document);

// The highest signature object number over all signed fields; 0 when there is none.
int LatestSignatureObjectNumber(qp_document document);

}  // namespace sealrun::verify
