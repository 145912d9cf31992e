#pragma once
// Removing the latest seal of one document when the user's own key applied it. The document changes only
// by one appended update, written to a copy first; the copy replaces the file only when it passes the
// removal's check (verify/RemovalCopyCheck.h). When nothing is removed the file is not written at all.
#include <string_view>

#include "external/qp.h"
#include "verify/RemovalResult.h"
#include "verify/RowOutcome.h"
#include "verify/SealOwnership.h"

namespace sealrun::verify {

// A record belongs to the owner when its key-serial line names exactly the owner's key serial. An empty
// serial owns nothing.
bool RecordBelongsTo(std::u16string_view record, std::u16string_view ownerSerial);

// The signed field with the highest signature object number goes, with its widget, when it is the owner's
// (verify/SealOwnership.h: its record names the owner's key and its signature verifies with the key's
// certificate). Any other outcome leaves the file untouched and reports the row as failed.
RemovalResult RemoveLatestSignatureField(qp_engine engine, std::u16string_view path, int row, const SealOwner& owner,
                                         const RowOutcome& outcome);
// The seal annotation with the highest object number goes when its record is readable and it is the
// owner's (its record names the owner's key and a signed message, if it has one, is the key's certificate's).
RemovalResult RemoveLatestSealAnnotation(qp_engine engine, std::u16string_view path, int row, const SealOwner& owner,
                                         const RowOutcome& outcome);

}  // namespace sealrun::verify
