#pragma once
// How the files of one signing run are signed, chosen once before the first file: signature fields signed
// by the engine with the key's signer certificate, or by the signing server when DigitalSignOnline is on;
// seal annotations with the certificate library's signed message over each document's fingerprint.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "config/PublicSettings.h"
#include "config/SignatureMode.h"
#include "platform/com/Variant.h"
#include "platform/crypto/Certificate.h"
#include "signing/SealStamp.h"
#include "signing/SignOnline.h"
#include "signing/SignatureInfo.h"

namespace sealrun::signing {

// Signature fields signed by the engine with the key's signer certificate.
struct CertificateSigning {
  platform::crypto::Bytes certificateDer;
  std::u16string signerName;  // as the signature names its signer
};
// Signature fields signed by the signing server at WebUrl; the key's certificate is not used.
struct ServerSigning {
  OnlineSigningRequest request;
};
// Seal annotations, each with the certificate library's signed message.
struct SealMessageSigning {
  std::u16string keySerial;
  std::u16string sealSerial;
};
// Signature fields with neither a signer certificate nor the signing server: the run is refused.
struct NoSignerCertificate {};

using SignerChoice = std::variant<NoSignerCertificate, CertificateSigning, ServerSigning, SealMessageSigning>;

// The key's signer certificate, or nothing; `configuredProvider` is the CSPName setting.
using SignerCertificateLookup =
    std::function<std::optional<platform::crypto::Certificate>(std::u16string_view configuredProvider)>;

struct SignerChoiceInputs {
  config::SignatureMode mode;
  config::PublicSettings settings;
  // Asked once, and only for signature fields (also when the server signs, as the key is consulted then too).
  SignerCertificateLookup findCertificate;
  std::u16string keySerial;
  std::optional<SealRecordFields> seal;  // the chosen seal; nullopt sends an empty seal serial
};

SignerChoice ChooseSigner(const SignerChoiceInputs& inputs);

// Sets the signer members of `stamp` for the choice; a refusal sets nothing. `stamp` refers to the choice's
// certificate, and the seal-message signer fills `certificateValue` with each message: both must outlive
// the run.
void ApplySigner(const SignerChoice& choice, platform::com::Variant& certificateValue, StampInputs& stamp);

}  // namespace sealrun::signing
