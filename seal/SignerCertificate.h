#pragma once
// The signer certificate held in the seal key's provider, fetched through the certificate library, and
// the signer's name as the system shows it.
#include <optional>
#include <string>
#include <string_view>

#include "platform/crypto/Certificate.h"

namespace sealrun::seal {

// The signer certificate, or nothing: no certificate library, no PEM armour ("BEGIN") in the library's
// CertContext text, or text that does not parse. `provider` (may be empty) is put into CSPName first; when
// no key container opens, `configuredProvider` (the CSPName setting) is put and the container opened once
// more.
std::optional<platform::crypto::Certificate> GetSignerCertificate(std::u16string_view provider,
                                                                  std::u16string_view configuredProvider);

// The subject's simple display name, followed directly by "<e-mail>" when the certificate has an e-mail
// name; empty when there is no display name.
std::u16string SignerDisplayName(const platform::crypto::Certificate& certificate);

}  // namespace sealrun::seal
