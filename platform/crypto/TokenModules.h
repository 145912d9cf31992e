#pragma once
// Private to platform/crypto: the PKCS#11 modules this process has loaded, one context per module path.
// A module is initialised once per process and finalising it ends every session on it, so all callers
// share one loaded module, and it stays loaded while any key found through it lives.
#include <libp11.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string_view>
#include <mutex>
#include <string>

#include "platform/crypto/Certificate.h"
#include "platform/crypto/PrivateKey.h"
#include "platform/crypto/Result.h"
#include "platform/crypto/TokenKey.h"

namespace sealrun::platform::crypto {

class TokenModule {
 public:
  // The loaded module at `path` (empty: the system's module proxy). The module file must be trusted: a
  // regular file, and it and its folder writable by no one but their owner, who is root or this user,
  // since loading it runs its code in this process.
  static Result<std::shared_ptr<TokenModule>> Get(const std::string& path);

  struct Private {};
  explicit TokenModule(Private) {}
  ~TokenModule();
  TokenModule(const TokenModule&) = delete;
  TokenModule& operator=(const TokenModule&) = delete;

  // Held while calling into the module through the slots below.
  std::mutex& Lock() { return mutex_; }
  PKCS11_SLOT* Slots() const { return slots_; }
  unsigned int SlotCount() const { return slotCount_; }
  // The token's PIN flags as it reports them now; nullopt when the token does not answer (pulled out).
  // libp11 reads them only when it lists the slots, and listing them again would close every session of
  // the slot, so they are asked of the module itself.
  std::optional<TokenPinState> PinState(PKCS11_SLOT* slot) const;

  // The PIN that logged the token in lately, kept as a salted digest: a batch signs a message per document,
  // and the same PIN need not be sent to the token each time (a login costs far more than a signature).
  // Forgotten after a minute unused, and whenever a login is tried with another PIN.
  bool LoggedInWith(PKCS11_SLOT* slot, std::string_view pin);
  void RememberLogin(PKCS11_SLOT* slot, std::string_view pin);
  void ForgetLogin() { login_.reset(); }

  // The key and certificate found under the remembered login, by the name the caller gives them: finding
  // them again asks the token to search and decrypt its objects, which costs more than a signature. The
  // kept key does not hold the module (that would keep it loaded for ever); callers wrap it again.
  struct KeptKey {
    std::string name;
    Certificate certificate;
    PrivateKey key;
  };
  const KeptKey* FindKept(const std::string& name) const;
  void Keep(KeptKey kept);

 private:
  struct ModuleHandle {
    void operator()(void* handle) const;
  };
  std::mutex mutex_;
  PKCS11_CTX* context_ = nullptr;
  bool loaded_ = false;
  PKCS11_SLOT* slots_ = nullptr;
  unsigned int slotCount_ = 0;
  // The module as libp11 loaded it, opened once more for its function list (released before libp11 unloads it).
  std::unique_ptr<void, ModuleHandle> library_;
  const void* functions_ = nullptr;  // CK_FUNCTION_LIST

  struct Login {
    unsigned long slotId = 0;
    Bytes pinDigest;
    std::chrono::steady_clock::time_point lastUse;
    std::optional<KeptKey> kept;
  };
  Bytes PinDigest(std::string_view pin) const;
  Bytes salt_;
  std::optional<Login> login_;
};

}  // namespace sealrun::platform::crypto
