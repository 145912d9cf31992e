#include "signing/SignerChoice.h"

#include "seal/AutomationValues.h"
#include "seal/SealMessage.h"
#include "seal/SignerCertificate.h"

namespace sealrun::signing {

SignerChoice ChooseSigner(const SignerChoiceInputs& inputs) {
  const std::u16string sealSerial = inputs.seal ? inputs.seal->serialNumber : std::u16string();
  if (!inputs.mode.StampsSignatureFields()) return SealMessageSigning{inputs.keySerial, sealSerial};

  const std::optional<platform::crypto::Certificate> certificate =
      inputs.findCertificate ? inputs.findCertificate(inputs.settings.cspName) : std::nullopt;
  // The signing server makes every signature of the run, with its own certificate.
  if (inputs.settings.digitalSignOnline) return ServerSigning{{inputs.settings.webUrl, inputs.keySerial, sealSerial}};
  if (!certificate) return NoSignerCertificate{};
  return CertificateSigning{certificate->Der(), seal::SignerDisplayName(*certificate)};
}

void ApplySigner(const SignerChoice& choice, platform::com::Variant& certificateValue, StampInputs& stamp) {
  if (const auto* local = std::get_if<CertificateSigning>(&choice)) {
    stamp.certificate = local->certificateDer;
    stamp.signerName = local->signerName;
  } else if (const auto* server = std::get_if<ServerSigning>(&choice)) {
    stamp.signOnline = MakeOnlineSigner(server->request);
  } else if (const auto* message = std::get_if<SealMessageSigning>(&choice)) {
    stamp.signSealMessage = [&certificateValue, keySerial = message->keySerial, sealSerial = message->sealSerial](
                                std::u16string_view fingerprint, std::u16string_view pin,
                                std::u16string& certificateText) {
      std::optional<std::u16string> signedMessage =
          seal::SignSealMessage(fingerprint, pin, certificateValue, keySerial, sealSerial, u"");
      certificateText = seal::TextOf(certificateValue);
      return signedMessage;
    };
  }
}

}  // namespace sealrun::signing
