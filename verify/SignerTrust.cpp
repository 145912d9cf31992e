#include "verify/SignerTrust.h"

#include <array>

#include "platform/crypto/ChainCheck.h"
#include "platform/fs/Files.h"
#include "platform/fs/Paths.h"

namespace sealrun::verify {

namespace crypto = platform::crypto;

namespace {

std::optional<crypto::Bytes> ReadBytes(const std::filesystem::path& path) {
  const std::optional<std::string> text = platform::fs::ReadFile(path);
  if (!text || text->empty()) return std::nullopt;
  return crypto::Bytes(text->begin(), text->end());
}

}  // namespace

SignerTrust SignerTrust::Load(const TrustSettings& settings) {
  SignerTrust trust;
  trust.validate_ = settings.validateCertificate;
  if (!trust.validate_) return trust;
  const std::filesystem::path folder = settings.validationFolder;
  if (const auto bytes = ReadBytes(folder / platform::fs::PathFromUtf16(kRootCertificateFile))) {
    if (auto root = crypto::Certificate::FromBytes(*bytes)) trust.root_ = std::move(*root);
  }
  trust.revocationList_ = ReadBytes(folder / platform::fs::PathFromUtf16(kRevocationListFile));
  return trust;
}

SignerJudgement SignerTrust::Judge(const crypto::Certificate& signer) const {
  if (!validate_) return {};
  if (!root_) return {SignerStanding::Untrusted, "the root certificate is missing or cannot be read"};
  if (!revocationList_) return {SignerStanding::Untrusted, "the revocation list is missing or cannot be read"};
  const std::array<crypto::Certificate, 1> roots{*root_};
  const std::array<crypto::Bytes, 1> lists{*revocationList_};
  crypto::ChainCheckOptions options;
  options.revocationLists = lists;
  const crypto::ChainResult chain = crypto::VerifyChain(signer, roots, {}, options);
  if (chain.Ok()) return {SignerStanding::Trusted, {}};
  return {SignerStanding::Untrusted, chain.detail};
}

}  // namespace sealrun::verify
