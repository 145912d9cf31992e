#pragma once
// The signer certificate check behind VerifyCertValidity2: the signer certificate (PEM text) against a
// root certificate file and a revocation list file, answered with the codes the system shows messages
// for.
//
// Order of the checks (the first failing one gives the code):
//   6  no signer certificate: the text is empty or holds no parsable armoured certificate
//   7  no root certificate: the root file does not exist
//   4  the root certificate cannot be installed: the file cannot be read or is not a certificate
//   5  no revocation list: the list file does not exist, cannot be read or is not a list
//   8  the signer's issuer name is not the root's subject name
//   2  the signer's signature does not verify with the root's key (or the root cannot act as one)
//   1  the signer is expired or not yet valid
//   9  the list is not issued and signed by the root, or is out of its update period
//   3  the signer is on the list
// Inputs are looked at first, then how the signer relates to the root, then its own period, then the
// list, so that the message names the first thing the user has to fix. Mode 0 leaves the revocation
// list out (codes 5, 9 and 3 are never given); every other mode, such as the 1 the system passes,
// checks it.
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string_view>

namespace sealrun::components::certlib {

enum class ValidationCode : std::int32_t {
  Valid = 0,
  OutsideValidity = 1,
  RootCheckFailed = 2,
  Revoked = 3,
  RootNotInstalled = 4,
  NoRevocationList = 5,
  NoSignerCertificate = 6,
  NoRootCertificate = 7,
  RootMismatch = 8,
  RevocationListMismatch = 9,
};

struct ValidationRequest {
  std::string_view certificatePem;  // UTF-8
  std::filesystem::path rootPath;
  std::filesystem::path revocationListPath;
  std::int32_t mode = 1;
  std::time_t at = 0;  // the time the signer must be valid at
};

ValidationCode ValidateSigner(const ValidationRequest& request);

}  // namespace sealrun::components::certlib
