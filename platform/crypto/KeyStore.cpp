#include "platform/crypto/KeyStore.h"

#include <algorithm>
#include <climits>
#include <mutex>

#include <openssl/provider.h>

#include "platform/crypto/OpenSslHandles.h"

namespace sealrun::platform::crypto {
namespace {

struct Entry {
  Certificate certificate;
  PrivateKey key;
};

// PKCS#12 files exported by older tools encrypt the certificates with RC2, which OpenSSL 3 keeps in
// its legacy provider. Loaded once, on the first file that needs it, and kept for the process.
struct Providers {
  OSSL_PROVIDER* defaults = nullptr;
  OSSL_PROVIDER* legacy = nullptr;
};

bool LoadLegacyProvider() {
  // Loading any provider stops the implicit default one, so load both. Held for the process's life
  // (OpenSSL releases them at its own exit cleanup).
  static const Providers providers = [] {
    Providers loaded{OSSL_PROVIDER_load(nullptr, "default"), OSSL_PROVIDER_load(nullptr, "legacy")};
    ERR_clear_error();
    return loaded;
  }();
  return providers.defaults != nullptr && providers.legacy != nullptr;
}

struct Parsed {
  EvpPkeyPtr key;
  X509Ptr certificate;
  X509StackPtr others;
};

bool Parse(PKCS12* pkcs12, const char* password, Parsed& parsed) {
  EVP_PKEY* key = nullptr;
  X509* certificate = nullptr;
  STACK_OF(X509)* others = nullptr;
  const bool ok = PKCS12_parse(pkcs12, password, &key, &certificate, &others) == 1;
  parsed.key.reset(key);
  parsed.certificate.reset(certificate);
  parsed.others.reset(others);
  return ok;
}

}  // namespace

class KeyStore::Impl {
 public:
  mutable std::mutex mutex;
  std::vector<Entry> entries;

  void Put(Entry entry) {
    std::lock_guard lock(mutex);
    auto same = std::find_if(entries.begin(), entries.end(),
                             [&](const Entry& e) { return e.certificate == entry.certificate; });
    if (same != entries.end()) {
      *same = std::move(entry);
    } else {
      entries.push_back(std::move(entry));
    }
  }
};

KeyStore::KeyStore() : impl_(std::make_unique<Impl>()) {}
KeyStore::~KeyStore() = default;

KeyStore& KeyStore::Instance() {
  static KeyStore store;
  return store;
}

Result<Certificate> KeyStore::ImportPkcs12(ByteView pkcs12, std::string_view password) {
  if (pkcs12.empty() || pkcs12.size() > static_cast<std::size_t>(LONG_MAX)) {
    return Error{ErrorCode::InvalidInput, "not a PKCS#12 file"};
  }
  const unsigned char* cursor = pkcs12.data();
  Pkcs12Ptr file(d2i_PKCS12(nullptr, &cursor, static_cast<long>(pkcs12.size())));
  if (!file) return OpenSslError(ErrorCode::InvalidInput, "not a PKCS#12 file");

  // Find the password form the file's integrity check accepts: the text, or for an empty text also
  // the absent password (the two are encoded differently).
  std::string passwordText(password);
  const char* chosen = passwordText.c_str();
  if (PKCS12_mac_present(file.get())) {
    bool accepted = PKCS12_verify_mac(file.get(), chosen, static_cast<int>(passwordText.size())) == 1;
    if (!accepted && passwordText.empty()) {
      chosen = nullptr;
      accepted = PKCS12_verify_mac(file.get(), nullptr, 0) == 1;
    }
    if (!accepted) {
      OPENSSL_cleanse(passwordText.data(), passwordText.size());
      ERR_clear_error();
      return Error{ErrorCode::WrongPassword, "the password of the PKCS#12 file is wrong"};
    }
  }

  Parsed parsed;
  bool ok = Parse(file.get(), chosen, parsed);
  if (!ok && LoadLegacyProvider()) {
    ERR_clear_error();
    ok = Parse(file.get(), chosen, parsed);
  }
  OPENSSL_cleanse(passwordText.data(), passwordText.size());
  if (!ok) return OpenSslError(ErrorCode::InvalidInput, "the PKCS#12 file cannot be decrypted");
  if (!parsed.key) return Error{ErrorCode::NotFound, "the PKCS#12 file holds no private key"};

  // PKCS12_parse pairs the key with its certificate by local key id; files without ids leave the
  // certificate among the others, so look there too.
  X509* match = nullptr;
  if (parsed.certificate && X509_check_private_key(parsed.certificate.get(), parsed.key.get()) == 1) {
    match = parsed.certificate.get();
  } else if (parsed.others) {
    for (int i = 0; i < sk_X509_num(parsed.others.get()); ++i) {
      X509* candidate = sk_X509_value(parsed.others.get(), i);
      if (X509_check_private_key(candidate, parsed.key.get()) == 1) {
        match = candidate;
        break;
      }
    }
  }
  ERR_clear_error();
  if (match == nullptr) return Error{ErrorCode::NotFound, "the PKCS#12 file holds no certificate for its key"};

  Certificate certificate = WrapX509(match);
  impl_->Put(Entry{certificate, WrapPkey(parsed.key.get())});
  return certificate;
}

Status KeyStore::Add(const Certificate& certificate, const PrivateKey& key) {
  if (!key.Matches(certificate)) return Error{ErrorCode::KeyMismatch, "the key does not belong to the certificate"};
  impl_->Put(Entry{certificate, key});
  return Status::Success();
}

std::optional<PrivateKey> KeyStore::FindPrivateKey(const Certificate& certificate) const {
  std::lock_guard lock(impl_->mutex);
  for (const Entry& entry : impl_->entries) {
    if (entry.certificate == certificate) return entry.key;
  }
  // A certificate renewed over the same key still finds it.
  const Bytes publicKey = certificate.PublicKeyDer();
  for (const Entry& entry : impl_->entries) {
    if (entry.certificate.PublicKeyDer() == publicKey) return entry.key;
  }
  return std::nullopt;
}

std::optional<Certificate> KeyStore::FindByThumbprint(ByteView sha1) const {
  std::lock_guard lock(impl_->mutex);
  for (const Entry& entry : impl_->entries) {
    const Bytes thumbprint = entry.certificate.Sha1Thumbprint();
    if (std::equal(thumbprint.begin(), thumbprint.end(), sha1.begin(), sha1.end())) return entry.certificate;
  }
  return std::nullopt;
}

bool KeyStore::Remove(const Certificate& certificate) {
  std::lock_guard lock(impl_->mutex);
  const auto removed = std::erase_if(impl_->entries, [&](const Entry& e) { return e.certificate == certificate; });
  return removed > 0;
}

void KeyStore::Clear() {
  std::lock_guard lock(impl_->mutex);
  impl_->entries.clear();
}

std::vector<Certificate> KeyStore::Certificates() const {
  std::lock_guard lock(impl_->mutex);
  std::vector<Certificate> certificates;
  certificates.reserve(impl_->entries.size());
  for (const Entry& entry : impl_->entries) certificates.push_back(entry.certificate);
  return certificates;
}

std::size_t KeyStore::Size() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->entries.size();
}

}  // namespace sealrun::platform::crypto
