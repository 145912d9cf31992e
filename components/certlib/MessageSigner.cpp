#include "components/certlib/MessageSigner.h"

#include <openssl/crypto.h>
#include <openssl/err.h>

#include <climits>

#include "components/certlib/OpenSslHolders.h"
#include "components/certlib/SoftKey.h"
#include "components/certlib/UnlockedKeys.h"
#include "platform/crypto/PinTries.h"

namespace sealrun::components::certlib {
namespace {

using platform::crypto::Bytes;
using platform::crypto::ByteView;

// Bytes wiped when they go: the PIN, and the file that holds the encrypted key.
class SecretBytes {
 public:
  explicit SecretBytes(std::string bytes) : bytes_(std::move(bytes)) {}
  ~SecretBytes() { OPENSSL_cleanse(bytes_.data(), bytes_.size()); }
  SecretBytes(const SecretBytes&) = delete;
  SecretBytes& operator=(const SecretBytes&) = delete;
  const std::string& Get() const { return bytes_; }

 private:
  std::string bytes_;
};

SignedMessage Failed(SignFailure failure) {
  ERR_clear_error();
  SignedMessage message;
  message.failure = failure;
  return message;
}

// Opens the PKCS#12 file with the PIN: its private key and further certificates.
std::optional<SignFailure> Unlock(const std::string& fileBytes, std::string_view pin,
                                  std::shared_ptr<const UnlockedKey>& unlocked) {
  const auto* cursor = reinterpret_cast<const unsigned char*>(fileBytes.data());
  const Pkcs12Holder pkcs12(d2i_PKCS12(nullptr, &cursor, static_cast<long>(fileBytes.size())));
  if (!pkcs12) return SignFailure::NoKeyFile;
  // An empty PIN never opens a key: PKCS12_parse would also try the "no password" form.
  if (pin.empty()) return SignFailure::WrongPin;
  const SecretBytes password{std::string(pin)};
  if (PKCS12_verify_mac(pkcs12.get(), password.Get().c_str(), static_cast<int>(password.Get().size())) != 1)
    return SignFailure::WrongPin;
  EVP_PKEY* rawKey = nullptr;
  X509* rawCertificate = nullptr;
  STACK_OF(X509)* rawChain = nullptr;
  const int parsed = PKCS12_parse(pkcs12.get(), password.Get().c_str(), &rawKey, &rawCertificate, &rawChain);
  auto key = std::make_shared<UnlockedKey>(UnlockedKey{EvpPkeyHolder(rawKey), X509StackHolder(rawChain)});
  const X509Holder fileCertificate(rawCertificate);
  if (parsed != 1 || !key->key) return SignFailure::WrongPin;
  unlocked = std::move(key);
  return std::nullopt;
}

// Opens the file under the key's try counter: a wrong PIN counts, a right one clears the count.
std::optional<SignFailure> UnlockCounted(const std::filesystem::path& keyFolder, const std::string& fileBytes,
                                         std::string_view pin, std::shared_ptr<const UnlockedKey>& unlocked) {
  using platform::crypto::PinMatch;
  using platform::crypto::PinTryResult;
  std::optional<SignFailure> failure;
  const PinTryResult counted = platform::crypto::PinTries(keyFolder).CheckPin([&] {
    if (pin.empty()) {
      failure = SignFailure::WrongPin;
      return PinMatch::Unchecked;
    }
    failure = Unlock(fileBytes, pin, unlocked);
    if (!failure) return PinMatch::Right;
    return failure == SignFailure::WrongPin ? PinMatch::Wrong : PinMatch::Unchecked;
  });
  if (counted == PinTryResult::Locked) return SignFailure::KeyLocked;
  if (counted == PinTryResult::NotCounted) return SignFailure::PinNotCounted;
  return failure;
}

}  // namespace

SignedMessage SignAttached(const std::filesystem::path& keyFolder, const std::filesystem::path& pkcs12Path,
                           std::string_view pin,
                           const platform::crypto::Certificate& signer, ByteView data) {
  auto content = ReadKeyFile(pkcs12Path);
  if (!content || content->empty() || content->size() > static_cast<std::size_t>(LONG_MAX))
    return Failed(SignFailure::NoKeyFile);
  const SecretBytes fileBytes(std::move(*content));
  // A key unlocked earlier still answers to the lock: locked keys sign nothing, whatever PIN opened them.
  if (platform::crypto::PinTries(keyFolder).Locked()) return Failed(SignFailure::KeyLocked);
  std::shared_ptr<const UnlockedKey> unlocked = FindUnlockedKey(fileBytes.Get(), pin);
  if (!unlocked) {
    const auto failure = UnlockCounted(keyFolder, fileBytes.Get(), pin, unlocked);
    if (failure) return Failed(*failure);
    RememberUnlockedKey(fileBytes.Get(), pin, unlocked);
  }
  EVP_PKEY* key = unlocked->key.get();
  STACK_OF(X509)* chain = unlocked->chain.get();

  const X509Holder wanted = ToX509(signer);
  if (!wanted || X509_check_private_key(wanted.get(), key) != 1)
    return Failed(SignFailure::CertificateMismatch);

  if (data.size() > static_cast<std::size_t>(INT_MAX)) return Failed(SignFailure::SigningFailed);
  const BioHolder input(BIO_new_mem_buf(data.data(), static_cast<int>(data.size())));
  if (!input) return Failed(SignFailure::SigningFailed);
  // Binary: the data is signed byte for byte, without line-end translation.
  constexpr unsigned int kFlags = CMS_BINARY | CMS_NOSMIMECAP;
  const CmsHolder cms(CMS_sign(wanted.get(), key, chain, input.get(), kFlags));
  if (!cms) return Failed(SignFailure::SigningFailed);

  unsigned char* der = nullptr;
  const int length = i2d_CMS_ContentInfo(cms.get(), &der);
  if (length <= 0 || der == nullptr) return Failed(SignFailure::SigningFailed);
  SignedMessage message;
  message.der = Bytes(der, der + length);
  OPENSSL_free(der);
  ERR_clear_error();
  return message;
}

std::u16string Base64Text(ByteView bytes) {
  if (bytes.empty()) return {};
  std::string encoded(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()), bytes.data(),
                                      static_cast<int>(bytes.size()));
  encoded.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
  return std::u16string(encoded.begin(), encoded.end());
}

}  // namespace sealrun::components::certlib
