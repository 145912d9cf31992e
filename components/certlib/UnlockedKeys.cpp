#include "components/certlib/UnlockedKeys.h"

#include <openssl/crypto.h>
#include <openssl/sha.h>

#include <array>
#include <chrono>
#include <mutex>

namespace sealrun::components::certlib {
namespace {

using Digest = std::array<unsigned char, SHA256_DIGEST_LENGTH>;
using Clock = std::chrono::steady_clock;

constexpr auto kIdleLifetime = std::chrono::minutes(1);

// SHA-256 over the file bytes, then the PIN: one digest stands for the pair.
Digest DigestOf(std::string_view fileBytes, std::string_view pin) {
  Digest digest{};
  const std::unique_ptr<EVP_MD_CTX, OpenSslFree<EVP_MD_CTX_free>> context(EVP_MD_CTX_new());
  unsigned int length = 0;
  const std::array<unsigned char, 1> separator{0};
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1 ||
      EVP_DigestUpdate(context.get(), fileBytes.data(), fileBytes.size()) != 1 ||
      EVP_DigestUpdate(context.get(), separator.data(), separator.size()) != 1 ||
      EVP_DigestUpdate(context.get(), pin.data(), pin.size()) != 1 ||
      EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1)
    digest.fill(0);
  return digest;
}

struct Entry {
  Digest digest{};
  std::shared_ptr<const UnlockedKey> key;
  Clock::time_point lastUse;
};

std::mutex& Lock() {
  static std::mutex lock;
  return lock;
}

Entry& Remembered() {
  static Entry entry;
  return entry;
}

bool SameDigest(const Digest& a, const Digest& b) { return CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0; }

}  // namespace

std::shared_ptr<const UnlockedKey> FindUnlockedKey(std::string_view fileBytes, std::string_view pin) {
  if (pin.empty()) return nullptr;
  const Digest digest = DigestOf(fileBytes, pin);
  const std::lock_guard<std::mutex> guard(Lock());
  Entry& entry = Remembered();
  const Clock::time_point now = Clock::now();
  if (entry.key && now - entry.lastUse > kIdleLifetime) entry = Entry{};
  if (!entry.key || !SameDigest(entry.digest, digest)) return nullptr;
  entry.lastUse = now;
  return entry.key;
}

void RememberUnlockedKey(std::string_view fileBytes, std::string_view pin, std::shared_ptr<const UnlockedKey> key) {
  if (pin.empty() || !key || !key->key) return;
  const Digest digest = DigestOf(fileBytes, pin);
  const std::lock_guard<std::mutex> guard(Lock());
  Remembered() = Entry{digest, std::move(key), Clock::now()};
}

void ForgetUnlockedKeys() {
  const std::lock_guard<std::mutex> guard(Lock());
  Remembered() = Entry{};
}

}  // namespace sealrun::components::certlib
