#pragma once
// Removing the latest seal of one document when the user's own key applied it. The document changes only
// by one appended update; when nothing is removed it is not written at all.
#include <string_view>

#include "external/qp.h"
#include "verify/RemovalResult.h"
#include "verify/RowOutcome.h"

namespace sealrun::verify {

// A record belongs to the owner when it contains the owner's key serial. An empty serial owns nothing: a
// plain substring test would let it own every seal.
bool RecordBelongsTo(std::u16string_view record, std::u16string_view ownerSerial);

// The signed field with the highest signature object number goes, with its widget, when its record
// belongs to the owner. Any other outcome leaves the file untouched and reports the row as failed.
RemovalResult RemoveLatestSignatureField(qp_engine engine, std::u16string_view path, int row,
                                         std::u16string_view ownerSerial, const RowOutcome& outcome);
// The seal annotation with the highest object number goes when its record is readable and belongs to the
// owner.
RemovalResult RemoveLatestSealAnnotation(qp_engine engine, std::u16string_view path, int row,
                                         std::u16string_view ownerSerial, const RowOutcome& outcome);

}  // namespace sealrun::verify
