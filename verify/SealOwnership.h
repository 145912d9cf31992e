#pragma once
// Whose the latest seal is, for removal. The record must name the user's key serial exactly (its key-serial
// line, not a substring of the record: key "1" owns no seal of key "ZQ-DEMO-0001"). Where the seal carries
// proof of its maker, a signed message or a signature, the proof must also verify and be made with the key's
// own certificate, so that a record naming the user's serial, signed with another certificate, is never
// taken for the user's seal.
#include <optional>
#include <string>
#include <string_view>

#include "external/qp.h"
#include "platform/crypto/Certificate.h"

namespace sealrun::verify {

// The user's key as the removal run knows it: the serial it reports and the certificate the certificate
// library gives for it (none when the library has none).
struct SealOwner {
  std::u16string keySerial;
  std::optional<platform::crypto::Certificate> certificate;
};

enum class Ownership {
  Owner,
  OtherKey,          // the record names another key serial, or none
  OtherCertificate,  // the record names the key, but the proof was made with another certificate
  MakerUnknown,      // the proof does not verify: nobody can tell who made the seal
};

Ownership SealAnnotationOwnership(qp_annot annotation, std::u16string_view record, const SealOwner& owner);
Ownership SignatureFieldOwnership(qp_signature signature, std::u16string_view record, const SealOwner& owner);

}  // namespace sealrun::verify
