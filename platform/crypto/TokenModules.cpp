#include "platform/crypto/TokenModules.h"

#include <dlfcn.h>
#include <p11-kit/pkcs11.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include "platform/crypto/Digest.h"
#include "platform/crypto/OpenSslHandles.h"

namespace sealrun::platform::crypto {
namespace {

// Debian's module proxy: every module the system registers with p11-kit, behind one module.
constexpr char kSystemProxy[] = "/usr/lib/" SEALRUN_MULTIARCH "/p11-kit-proxy.so";

bool OwnedSafely(const struct stat& status) {
  const bool owner = status.st_uid == 0 || status.st_uid == geteuid();
  return owner && (status.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Empty when the module may be loaded; otherwise why not.
std::string ModuleDistrust(const std::string& path) {
  std::error_code error;
  const std::filesystem::path real = std::filesystem::canonical(path, error);
  if (error) return "the token module " + path + " does not exist";
  struct stat file {};
  struct stat folder {};
  if (stat(real.c_str(), &file) != 0 || !S_ISREG(file.st_mode)) return "the token module " + path + " is no file";
  if (stat(real.parent_path().c_str(), &folder) != 0 || !OwnedSafely(file) || !OwnedSafely(folder))
    return "the token module " + path + " may be changed by other users; it is not loaded";
  return {};
}

std::mutex& RegistryMutex() {
  static std::mutex mutex;
  return mutex;
}

std::map<std::string, std::weak_ptr<TokenModule>>& Registry() {
  static std::map<std::string, std::weak_ptr<TokenModule>> modules;
  return modules;
}

}  // namespace

Result<std::shared_ptr<TokenModule>> TokenModule::Get(const std::string& requested) {
  const std::string path = requested.empty() ? std::string(kSystemProxy) : requested;
  const std::lock_guard lock(RegistryMutex());
  if (auto loaded = Registry()[path].lock()) return loaded;
  if (const std::string distrust = ModuleDistrust(path); !distrust.empty())
    return Error{ErrorCode::NotFound, distrust};

  auto module = std::make_shared<TokenModule>(Private{});
  module->context_ = PKCS11_CTX_new();
  if (module->context_ == nullptr) return OpenSslError(ErrorCode::Failed, "no PKCS#11 context");
  if (PKCS11_CTX_load(module->context_, path.c_str()) != 0)
    return OpenSslError(ErrorCode::NotFound, "the token module " + path + " does not load");
  module->loaded_ = true;
  if (PKCS11_enumerate_slots(module->context_, &module->slots_, &module->slotCount_) != 0)
    return OpenSslError(ErrorCode::Failed, "the token module " + path + " lists no slots");
  // The library is loaded already: this opens no second copy, it only finds the one libp11 uses.
  module->library_.reset(dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD));
  if (module->library_) {
    CK_FUNCTION_LIST_PTR functions = nullptr;
    const auto getList = reinterpret_cast<CK_C_GetFunctionList>(dlsym(module->library_.get(), "C_GetFunctionList"));
    if (getList != nullptr && getList(&functions) == CKR_OK) module->functions_ = functions;
  }
  module->salt_.resize(32);
  if (RAND_bytes(module->salt_.data(), static_cast<int>(module->salt_.size())) != 1)
    return OpenSslError(ErrorCode::Failed, "no random salt");
  Registry()[path] = module;
  return module;
}

void TokenModule::ModuleHandle::operator()(void* handle) const { dlclose(handle); }

std::optional<TokenPinState> TokenModule::PinState(PKCS11_SLOT* slot) const {
  TokenPinState state;
  const auto* functions = static_cast<const CK_FUNCTION_LIST*>(functions_);
  if (functions == nullptr) return state;
  CK_TOKEN_INFO info{};
  if (functions->C_GetTokenInfo(PKCS11_get_slotid_from_slot(slot), &info) != CKR_OK) return std::nullopt;
  state.countLow = (info.flags & CKF_USER_PIN_COUNT_LOW) != 0;
  state.finalTry = (info.flags & CKF_USER_PIN_FINAL_TRY) != 0;
  state.locked = (info.flags & CKF_USER_PIN_LOCKED) != 0;
  return state;
}

Bytes TokenModule::PinDigest(std::string_view pin) const {
  Digest digest(DigestAlgorithm::Sha256);
  digest.Update(salt_);
  digest.Update(AsBytes(pin));
  return digest.Final();
}

bool TokenModule::LoggedInWith(PKCS11_SLOT* slot, std::string_view pin) {
  constexpr auto kIdleLifetime = std::chrono::minutes(1);
  const auto now = std::chrono::steady_clock::now();
  if (login_ && now - login_->lastUse > kIdleLifetime) login_.reset();
  int loggedIn = 0;
  if (!login_ || login_->slotId != PKCS11_get_slotid_from_slot(slot) ||
      PKCS11_is_logged_in(slot, 0, &loggedIn) != 0 || !loggedIn)
    return false;
  const Bytes digest = PinDigest(pin);
  if (digest.size() != login_->pinDigest.size() ||
      CRYPTO_memcmp(digest.data(), login_->pinDigest.data(), digest.size()) != 0)
    return false;
  login_->lastUse = now;
  return true;
}

void TokenModule::RememberLogin(PKCS11_SLOT* slot, std::string_view pin) {
  login_ = Login{PKCS11_get_slotid_from_slot(slot), PinDigest(pin), std::chrono::steady_clock::now(), std::nullopt};
}

const TokenModule::KeptKey* TokenModule::FindKept(const std::string& name) const {
  return login_ && login_->kept && login_->kept->name == name ? &*login_->kept : nullptr;
}

void TokenModule::Keep(KeptKey kept) {
  if (login_) login_->kept = std::move(kept);
}

TokenModule::~TokenModule() {
  // The kept key refers to the module's slots: it goes first.
  login_.reset();
  library_.reset();
  if (slots_ != nullptr) PKCS11_release_all_slots(context_, slots_, slotCount_);
  if (loaded_) PKCS11_CTX_unload(context_);
  if (context_ != nullptr) PKCS11_CTX_free(context_);
}

}  // namespace sealrun::platform::crypto
