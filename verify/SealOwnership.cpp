#include "verify/SealOwnership.h"

#include "verify/FieldSignature.h"
#include "verify/KeySerial.h"
#include "verify/SignedMessage.h"

namespace sealrun::verify {

namespace {

// Made with the key's certificate: the maker's certificate carries the key's public key (so a renewed
// certificate of the same key counts, a certificate merely naming the user does not).
Ownership ByCertificate(const platform::crypto::Certificate& maker, const SealOwner& owner) {
  if (owner.certificate && maker.PublicKeyDer() == owner.certificate->PublicKeyDer()) return Ownership::Owner;
  return Ownership::OtherCertificate;
}

}  // namespace

Ownership SealAnnotationOwnership(qp_annot annotation, std::u16string_view record, const SealOwner& owner) {
  if (!RecordNamesKey(record, owner.keySerial)) return Ownership::OtherKey;
  const SignedMessageCheck message = CheckSignedMessage(annotation, record);
  switch (message.state) {
    case SignedMessageState::Absent:
      return Ownership::Owner;  // the record is all there is: signed messages are optional
    case SignedMessageState::Invalid:
      return Ownership::MakerUnknown;
    case SignedMessageState::Valid:
      return ByCertificate(*message.signer, owner);
  }
  return Ownership::MakerUnknown;
}

Ownership SignatureFieldOwnership(qp_signature signature, std::u16string_view record, const SealOwner& owner) {
  if (!RecordNamesKey(record, owner.keySerial)) return Ownership::OtherKey;
  const FieldSignature verified = VerifyFieldSignature(signature);
  if (!verified.Verifies() || !verified.signer) return Ownership::MakerUnknown;
  return ByCertificate(*verified.signer, owner);
}

}  // namespace sealrun::verify
