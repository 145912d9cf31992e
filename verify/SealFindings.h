#pragma once
// What verification found about one seal beyond valid or not: why it is invalid, what it notes, and what the
// revisions after the seal changed. The batch run shows only the counts; `sealrun inspect` shows all of it.
#include <string_view>
#include <vector>

namespace sealrun::verify {

// A reason a seal is invalid, or (Note*) something worth knowing about a valid one.
enum class Finding {
  RecordUnreadable,         // the record's version is not the one the system writes, or it does not decode
  FingerprintMismatch,      // seal annotation: its fingerprint is not that of the document as sealed
  FingerprintUnavailable,   // seal annotation: the document's fingerprint could not be taken in full
  SignedMessageInvalid,     // seal annotation: /certSignMsg does not verify over the stored fingerprint
  DigestMismatch,           // signature field: the signed bytes changed
  SignatureInvalid,         // signature field: the signature does not verify or is malformed
  SignerUntrusted,          // the signer's certificate does not chain to the configured root, or is revoked
  SerialContradictsSigner,  // the record names a key serial that the signing certificate does not carry
  DisallowedChange,         // a later revision made a change that is not allowed (see the changes)
  TimestampInvalid,         // a document timestamp whose imprint or token does not verify
  NoteNoSignedMessage,      // seal annotation without a signed message (allowed: it is optional)
  NoteEarlierFingerprint,   // seal annotation whose record holds the fingerprint as the earlier release took it
};

inline bool IsNote(Finding finding) {
  return finding == Finding::NoteNoSignedMessage || finding == Finding::NoteEarlierFingerprint;
}

// What a later revision changed, as the change analysis names it.
enum class ChangeKind {
  // Allowed after a seal.
  SealAnnotationAdded,
  SignatureFieldAdded,
  PageIdentifierAdded,
  DocumentTimestampAdded,
  LaterSealRemoved,
  DocumentInformationChanged,
  MetadataChanged,
  ValidationDataAdded,        // /DSS: certificates, revocation data and timestamps kept for later checks
  // Not allowed: they change what a page shows or does.
  ContentChanged,
  ResourcesChanged,
  PageGeometryChanged,        // boxes or rotation
  PagesAddedRemovedOrMoved,
  AnnotationAdded,
  AnnotationRemoved,
  AnnotationChanged,
  SealChanged,                // the seal's own dictionary, picture, rectangle, flags or record
  RecordlessSealAdded,        // a seal annotation without a record: an overlay nothing verifies
  PageIdentifierChanged,      // an identifier changed or removed
  FormFieldChanged,
  DocumentActionChanged,      // /OpenAction, /AA, document JavaScript
  FormChanged,                // /AcroForm beyond new signature fields
  OptionalContentChanged,
  Other,
};

struct LaterChange {
  ChangeKind kind = ChangeKind::Other;
  int revision = 0;       // the update that made the change (0 is the original file)
  int pageIndex = -1;     // -1 when the change is not on one page
  int objectNumber = 0;   // the object that changed, 0 when none stands for it
  bool allowed = false;
};

// Whether a change of this kind leaves earlier seals valid.
bool IsAllowedChange(ChangeKind kind);

// Short English texts for inspect and the traces ("fingerprint mismatch", "content changed", ...).
std::string_view FindingText(Finding finding);
std::string_view ChangeKindText(ChangeKind kind);

}  // namespace sealrun::verify
