#include "components/sealkey/PinSealing.h"

#include <fcntl.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "components/sealkey/PinCheck.h"
#include "components/sealkey/SealKeyFolder.h"

namespace sealrun::components::sealkey {
namespace {

constexpr size_t kKeyBytes = 32;
constexpr size_t kNonceBytes = 12;
constexpr size_t kTagBytes = 16;

struct CipherFree {
  void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherFree>;

// The key file written whole through a private temporary file and linked in place only when there is
// none yet, so two processes creating it at once agree on one key.
bool CreateKeyFile(const std::filesystem::path& file, const std::vector<uint8_t>& key) {
  std::string temp = file.string() + ".XXXXXX";
  const int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = fchmod(fd, S_IRUSR | S_IWUSR) == 0 &&
            write(fd, key.data(), key.size()) == static_cast<ssize_t>(key.size()) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && (link(temp.c_str(), file.c_str()) == 0 || errno == EEXIST);
  unlink(temp.c_str());
  return ok;
}

}  // namespace

std::optional<std::vector<uint8_t>> StoreKey(const std::filesystem::path& folder, bool create) {
  const std::filesystem::path file = folder / kStoreKeyFileName;
  auto bytes = ReadKeyFile(file, kKeyBytes);
  if (!bytes && create) {
    std::vector<uint8_t> fresh(kKeyBytes);
    if (RAND_bytes(fresh.data(), static_cast<int>(fresh.size())) != 1 || !CreateKeyFile(file, fresh)) {
      OPENSSL_cleanse(fresh.data(), fresh.size());
      return std::nullopt;
    }
    OPENSSL_cleanse(fresh.data(), fresh.size());
    bytes = ReadKeyFile(file, kKeyBytes);  // the key that won, should another process have made one too
  }
  if (!bytes || bytes->size() != kKeyBytes) {
    if (bytes) WipeSecret(*bytes);
    return std::nullopt;
  }
  std::vector<uint8_t> key(bytes->begin(), bytes->end());
  WipeSecret(*bytes);
  return key;
}

std::optional<std::vector<uint8_t>> SealPin(const std::vector<uint8_t>& key, std::string_view serial,
                                            std::string_view pin) {
  if (key.size() != kKeyBytes) return std::nullopt;
  std::vector<uint8_t> sealed(kNonceBytes + pin.size() + kTagBytes);
  if (RAND_bytes(sealed.data(), kNonceBytes) != 1) return std::nullopt;
  const CipherContext context(EVP_CIPHER_CTX_new());
  int length = 0;
  int final = 0;
  const bool ok =
      context && EVP_EncryptInit_ex(context.get(), EVP_aes_256_gcm(), nullptr, key.data(), sealed.data()) == 1 &&
      EVP_EncryptUpdate(context.get(), nullptr, &length, reinterpret_cast<const unsigned char*>(serial.data()),
                        static_cast<int>(serial.size())) == 1 &&
      EVP_EncryptUpdate(context.get(), sealed.data() + kNonceBytes, &length,
                        reinterpret_cast<const unsigned char*>(pin.data()), static_cast<int>(pin.size())) == 1 &&
      EVP_EncryptFinal_ex(context.get(), sealed.data() + kNonceBytes + length, &final) == 1 &&
      static_cast<size_t>(length + final) == pin.size() &&
      EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_GET_TAG, kTagBytes,
                          sealed.data() + kNonceBytes + pin.size()) == 1;
  if (!ok) return std::nullopt;
  return sealed;
}

std::optional<std::string> OpenPin(const std::vector<uint8_t>& key, std::string_view serial,
                                   const std::vector<uint8_t>& sealed) {
  if (key.size() != kKeyBytes || sealed.size() < kNonceBytes + kTagBytes) return std::nullopt;
  const size_t textBytes = sealed.size() - kNonceBytes - kTagBytes;
  std::string pin(textBytes, '\0');
  std::vector<uint8_t> tag(sealed.end() - kTagBytes, sealed.end());
  const CipherContext context(EVP_CIPHER_CTX_new());
  int length = 0;
  int final = 0;
  const bool ok =
      context && EVP_DecryptInit_ex(context.get(), EVP_aes_256_gcm(), nullptr, key.data(), sealed.data()) == 1 &&
      EVP_DecryptUpdate(context.get(), nullptr, &length, reinterpret_cast<const unsigned char*>(serial.data()),
                        static_cast<int>(serial.size())) == 1 &&
      EVP_DecryptUpdate(context.get(), reinterpret_cast<unsigned char*>(pin.data()), &length,
                        sealed.data() + kNonceBytes, static_cast<int>(textBytes)) == 1 &&
      EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_SET_TAG, kTagBytes, tag.data()) == 1 &&
      EVP_DecryptFinal_ex(context.get(), reinterpret_cast<unsigned char*>(pin.data()) + length, &final) == 1;
  if (!ok) {
    WipeSecret(pin);
    return std::nullopt;
  }
  return pin;
}

}  // namespace sealrun::components::sealkey
