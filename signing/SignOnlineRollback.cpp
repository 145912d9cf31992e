#include <algorithm>

#include "platform/crypto/Digest.h"
#include "platform/fs/Files.h"
#include "platform/text/Utf.h"
#include "signing/SignOnline.h"
#include "support/Trace.h"

namespace sealrun::signing {
namespace {

namespace crypto = platform::crypto;

std::array<std::uint8_t, 20> Sha1Of(std::string_view bytes) {
  const crypto::Bytes digest = crypto::Sha1(crypto::AsBytes(bytes));
  std::array<std::uint8_t, 20> out{};
  std::copy_n(digest.begin(), std::min(digest.size(), out.size()), out.begin());
  return out;
}

}  // namespace

std::optional<OnlineSigningRollback> OnlineSigningRollback::Capture(const std::filesystem::path& path) {
  const std::optional<std::string> bytes = platform::fs::ReadFile(path);
  if (!bytes) return std::nullopt;
  return OnlineSigningRollback(path, bytes->size(), Sha1Of(*bytes));
}

OnlineSigningRollback::Outcome OnlineSigningRollback::Restore() const {
  const std::optional<std::string> bytes = platform::fs::ReadFile(path_);
  if (!bytes || bytes->size() < size_) return Outcome::Failed;
  const std::string_view original = std::string_view(*bytes).substr(0, size_);
  // Something other than one appended update changed the file: taking bytes off would damage it further.
  if (Sha1Of(original) != digest_) return Outcome::Failed;
  if (bytes->size() == size_) return Outcome::Unchanged;
  return platform::fs::ReplaceFileAtomically(path_, original) ? Outcome::Restored : Outcome::Failed;
}

StampResult SignOnlineWithRollback(const OnlineSigner& signer, qp_signature signature, std::u16string_view path) {
  if (!signer) return StampFailure::NoSigningRequest;
  const std::filesystem::path filePath(platform::text::Utf16ToUtf8(path));
  const std::optional<OnlineSigningRollback> rollback = OnlineSigningRollback::Capture(filePath);
  StampResult result = signer(signature);
  if (!result && rollback) {
    if (rollback->Restore() == OnlineSigningRollback::Outcome::Failed)
      support::Trace("online signing failed and the file could not be restored");
  }
  return result;
}

}  // namespace sealrun::signing
