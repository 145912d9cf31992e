#pragma once
// What the system keeps from the public settings file shared by the product family.
#include <string>
#include <string_view>

namespace sealrun::config {

struct PublicSettings {
  std::u16string webUrl;            // `WebUrl`: the signing server
  std::u16string cspName;           // `CSPName`: the provider that holds the signer certificate
  bool digitalSignOnline = false;   // `DigitalSignOnline`: signatures are made by the signing server
  bool validateCertificate = false; // `ValidateCertificate`: validate the signer certificate before a run
};

// Reads the public file ("BrasmoorPublic.dll"); every value stays at its default when the file is
// missing or does not load. The public file is never created or written.
PublicSettings ReadPublicSettings(std::u16string_view fileName);

}  // namespace sealrun::config
