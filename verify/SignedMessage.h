#pragma once
// The signed message of a seal annotation: /certSignMsg, a CMS SignedData (Base64 text stored as UTF-16LE)
// made by the certificate stored in /certContext over the fingerprint the seal's record stores. The
// certificate library signs the fingerprint's UTF-8 bytes and carries them inside the message; a message
// made by another system may sign the fingerprint's UTF-16LE bytes, or leave the data out (detached), as
// the stored fingerprint is what it signs either way.
#include <optional>
#include <string>
#include <string_view>

#include "external/qp.h"
#include "platform/crypto/Certificate.h"

namespace sealrun::verify {

// Messages are a few kilobytes; anything far larger is not one this system's readers take.
inline constexpr std::size_t kMaxSignedMessageBytes = 1024 * 1024;

enum class SignedMessageState {
  Absent,   // no /certSignMsg, or an empty one: signed messages are optional
  Valid,    // verifies over the stored fingerprint with the /certContext certificate
  Invalid,  // anything else
};

struct SignedMessageCheck {
  SignedMessageState state = SignedMessageState::Absent;
  std::optional<platform::crypto::Certificate> signer;  // the /certContext certificate, when Valid
  std::string problem;                                  // why Invalid, for traces
};

// Checks the annotation's message against the fingerprint stored in `record` (its "strMd5=" line).
SignedMessageCheck CheckSignedMessage(qp_annot annotation, std::u16string_view record);

}  // namespace sealrun::verify
