#include "verify/SealFindings.h"

namespace sealrun::verify {

std::string_view FindingText(Finding finding) {
  switch (finding) {
    case Finding::RecordUnreadable: return "record unreadable";
    case Finding::FingerprintMismatch: return "fingerprint mismatch";
    case Finding::FingerprintUnavailable: return "fingerprint could not be taken";
    case Finding::SignedMessageInvalid: return "signed message does not verify";
    case Finding::DigestMismatch: return "digest mismatch: the signed bytes changed";
    case Finding::SignatureInvalid: return "signature does not verify";
    case Finding::SignerUntrusted: return "signer certificate not trusted";
    case Finding::SerialContradictsSigner: return "record's key serial contradicts the signer certificate";
    case Finding::DisallowedChange: return "changed after sealing";
    case Finding::TimestampInvalid: return "document timestamp does not verify";
    case Finding::NoteNoSignedMessage: return "no signed message";
    case Finding::NoteEarlierFingerprint: return "fingerprint as the earlier release of this system computed it";
  }
  return "unknown";
}

bool IsAllowedChange(ChangeKind kind) {
  switch (kind) {
    case ChangeKind::SealAnnotationAdded:
    case ChangeKind::SignatureFieldAdded:
    case ChangeKind::PageIdentifierAdded:
    case ChangeKind::DocumentTimestampAdded:
    case ChangeKind::LaterSealRemoved:
    case ChangeKind::DocumentInformationChanged:
    case ChangeKind::MetadataChanged:
    case ChangeKind::ValidationDataAdded:
      return true;
    default:
      return false;
  }
}

std::string_view ChangeKindText(ChangeKind kind) {
  switch (kind) {
    case ChangeKind::SealAnnotationAdded: return "seal annotation added";
    case ChangeKind::SignatureFieldAdded: return "signature field added";
    case ChangeKind::PageIdentifierAdded: return "page identifier added";
    case ChangeKind::DocumentTimestampAdded: return "document timestamp added";
    case ChangeKind::LaterSealRemoved: return "later seal removed";
    case ChangeKind::DocumentInformationChanged: return "document information changed";
    case ChangeKind::MetadataChanged: return "metadata changed";
    case ChangeKind::ValidationDataAdded: return "validation data added";
    case ChangeKind::ContentChanged: return "content changed";
    case ChangeKind::ResourcesChanged: return "resources changed";
    case ChangeKind::PageGeometryChanged: return "page box or rotation changed";
    case ChangeKind::PagesAddedRemovedOrMoved: return "pages added, removed or moved";
    case ChangeKind::AnnotationAdded: return "annotation added";
    case ChangeKind::AnnotationRemoved: return "annotation removed";
    case ChangeKind::AnnotationChanged: return "annotation changed";
    case ChangeKind::SealChanged: return "seal changed";
    case ChangeKind::RecordlessSealAdded: return "seal annotation without a record added";
    case ChangeKind::PageIdentifierChanged: return "page identifier changed or removed";
    case ChangeKind::FormFieldChanged: return "form field changed";
    case ChangeKind::DocumentActionChanged: return "document action or script changed";
    case ChangeKind::FormChanged: return "form changed";
    case ChangeKind::OptionalContentChanged: return "optional content changed";
    case ChangeKind::Other: return "other change";
  }
  return "unknown";
}

}  // namespace sealrun::verify
