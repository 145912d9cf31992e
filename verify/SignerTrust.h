#pragma once
// Whether a seal's signer is trusted. With the ValidateCertificate setting on, the signer's certificate must
// chain to the root certificate installed beside the add-in module and must not be on the revocation list
// there: the two files the certificate library validates the user's own certificate with before a signing
// run. With the setting off nobody is checked.
#include <filesystem>
#include <optional>
#include <string>

#include "platform/crypto/Bytes.h"
#include "platform/crypto/Certificate.h"

namespace sealrun::verify {

inline constexpr char16_t kRootCertificateFile[] = u"ZQ_Root.cer";
inline constexpr char16_t kRevocationListFile[] = u"ZQ_Crl.crl";

// What a verification run is handed to judge signers with.
struct TrustSettings {
  bool validateCertificate = false;        // the ValidateCertificate setting
  std::filesystem::path validationFolder;  // the add-in module's folder, where the root and the list stand
};

enum class SignerStanding {
  NotChecked,  // validation is off
  Trusted,     // chains to the root, inside its validity, not revoked
  Untrusted,   // anything else, a missing or unreadable root or list included
};

struct SignerJudgement {
  SignerStanding standing = SignerStanding::NotChecked;
  std::string why;  // for traces, when Untrusted
};

class SignerTrust {
 public:
  // Validation off.
  SignerTrust() = default;
  // Reads the root and the list once, for a whole run.
  static SignerTrust Load(const TrustSettings& settings);

  bool Checks() const { return validate_; }
  // Judged now: a seal verified today needs a signer that is trusted today.
  SignerJudgement Judge(const platform::crypto::Certificate& signer) const;

 private:
  bool validate_ = false;
  std::optional<platform::crypto::Certificate> root_;
  std::optional<platform::crypto::Bytes> revocationList_;
};

}  // namespace sealrun::verify
