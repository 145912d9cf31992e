#include "components/certlib/CertValidation.h"

#include <openssl/err.h>

#include <array>
#include <optional>
#include <system_error>

#include "components/certlib/OpenSslHolders.h"
#include "platform/crypto/ChainCheck.h"
#include "platform/fs/Files.h"

namespace sealrun::components::certlib {
namespace {

using platform::crypto::Bytes;
using platform::crypto::Certificate;
using platform::crypto::ChainStatus;

bool Exists(const std::filesystem::path& path) {
  std::error_code error;
  return !path.empty() && std::filesystem::is_regular_file(path, error);
}

std::optional<Bytes> ReadBytes(const std::filesystem::path& path) {
  auto text = platform::fs::ReadFile(path);
  if (!text) return std::nullopt;
  return Bytes(text->begin(), text->end());
}

// What the full chain check adds to the single checks before it: the root acting as a CA, the list's
// update period. Each status is given the code of the check it belongs to.
ValidationCode CodeOfChainStatus(ChainStatus status) {
  switch (status) {
    case ChainStatus::Valid:
      return ValidationCode::Valid;
    case ChainStatus::Revoked:
      return ValidationCode::Revoked;
    case ChainStatus::NoRevocationList:
    case ChainStatus::BadRevocationList:
      return ValidationCode::RevocationListMismatch;
    case ChainStatus::NotYetValid:
    case ChainStatus::Expired:
    case ChainStatus::UntrustedRoot:
    case ChainStatus::Other:
      // The signer's own period was checked before: what is left is the root.
      return ValidationCode::RootCheckFailed;
  }
  return ValidationCode::RootCheckFailed;
}

ValidationCode Validate(const ValidationRequest& request) {
  auto signer = Certificate::FromPem(request.certificatePem);
  if (!signer) return ValidationCode::NoSignerCertificate;

  if (!Exists(request.rootPath)) return ValidationCode::NoRootCertificate;
  const auto rootBytes = ReadBytes(request.rootPath);
  if (!rootBytes) return ValidationCode::RootNotInstalled;
  auto root = Certificate::FromBytes(*rootBytes);
  if (!root) return ValidationCode::RootNotInstalled;

  const bool checkList = request.mode != 0;
  X509CrlHolder crl;
  Bytes crlBytes;
  if (checkList) {
    if (!Exists(request.revocationListPath)) return ValidationCode::NoRevocationList;
    auto bytes = ReadBytes(request.revocationListPath);
    if (!bytes) return ValidationCode::NoRevocationList;
    crlBytes = std::move(*bytes);
    crl = ParseRevocationList(crlBytes);
    if (!crl) return ValidationCode::NoRevocationList;
  }

  const X509Holder signerX509 = ToX509(*signer);
  const X509Holder rootX509 = ToX509(*root);
  if (!signerX509) return ValidationCode::NoSignerCertificate;
  if (!rootX509) return ValidationCode::RootNotInstalled;

  if (X509_NAME_cmp(X509_get_issuer_name(signerX509.get()), X509_get_subject_name(rootX509.get())) != 0)
    return ValidationCode::RootMismatch;
  EVP_PKEY* rootKey = X509_get0_pubkey(rootX509.get());
  if (rootKey == nullptr || X509_verify(signerX509.get(), rootKey) != 1) return ValidationCode::RootCheckFailed;

  if (signer->CompareValidity(request.at) != 0) return ValidationCode::OutsideValidity;

  if (checkList) {
    if (X509_NAME_cmp(X509_CRL_get_issuer(crl.get()), X509_get_subject_name(rootX509.get())) != 0 ||
        X509_CRL_verify(crl.get(), rootKey) != 1)
      return ValidationCode::RevocationListMismatch;
    X509_REVOKED* entry = nullptr;  // owned by the list
    if (X509_CRL_get0_by_cert(crl.get(), &entry, signerX509.get()) == 1) return ValidationCode::Revoked;
  }

  const std::array<Certificate, 1> roots{*root};
  const std::array<Bytes, 1> lists{crlBytes};
  platform::crypto::ChainCheckOptions options;
  options.at = request.at;
  if (checkList) options.revocationLists = lists;
  return CodeOfChainStatus(platform::crypto::VerifyChain(*signer, roots, {}, options).status);
}

}  // namespace

ValidationCode ValidateSigner(const ValidationRequest& request) {
  const ValidationCode code = Validate(request);
  ERR_clear_error();
  return code;
}

}  // namespace sealrun::components::certlib
