#pragma once
// KeyObject: the software seal key. It answers by member name what a hardware seal key's automation
// object answers: the key serial, the seals with their header objects and pictures, the PIN check that
// unlocks the signer's private key, and the remembered PIN. Every instance reads the inserted key
// (platform::fs::SealKeyDir()) afresh, so a key inserted or removed is seen by the next instance.
#include <cstdint>
#include <optional>
#include <string>

#include "components/sealkey/SealKeyFolder.h"
#include "platform/com/Dispatch.h"

namespace sealrun::components::sealkey {

// The numbers the key's methods answer with.
enum KeyResult : int32_t {
  kKeyOk = 0,
  kKeyMissing = 1,    // no key inserted, or a damaged one
  kKeyWrongPin = 2,
  kKeyNoSuchSeal = 3,
  kKeyWriteFailed = 4,
  kKeyNoPinWritten = 5,  // WebAddGlobalPinTag without an accepted WebWritePin before it
  kKeyLocked = 6,        // too many wrong PINs: no PIN is checked until the key is unlocked
  kKeyNoUnlockCode = 7,  // WebUnlockKey on a key that has no unlock code
  kKeyOnToken = 8,       // WebUnlockKey on a key whose PIN its token keeps: the token's own tools unlock it
};

class KeyObject final : public platform::com::DispatchObject<KeyObject, platform::com::IDispatch> {
 public:
  KeyObject() = default;
  ~KeyObject() override;

  static const platform::com::DispatchTable<KeyObject>& DispatchMembers();

 private:
  using DispatchCall = platform::com::DispatchCall;
  using HRESULT = platform::com::HRESULT;

  HRESULT WebCreateKeyObject(DispatchCall& call);
  HRESULT WebOpenKeyObject(DispatchCall& call);
  HRESULT WebDeleteKeyObject(DispatchCall& call);
  HRESULT WebGetKeySerialNumber(DispatchCall& call);
  HRESULT WebLoadSignatureEx(DispatchCall& call);
  HRESULT SignCount(DispatchCall& call);
  HRESULT HeadInformations(DispatchCall& call);
  HRESULT DeCodeImgData(DispatchCall& call);
  HRESULT VerifyPin(DispatchCall& call);
  HRESULT WebWritePin(DispatchCall& call);
  HRESULT WebAddGlobalPinTag(DispatchCall& call);
  HRESULT WebDelGlobalPinTag(DispatchCall& call);
  HRESULT WebExistsGlobalPinTag(DispatchCall& call);
  HRESULT WebReadPin(DispatchCall& call);
  HRESULT WebUnlockKey(DispatchCall& call);

  // The inserted key, read on first use; null when there is none.
  const SealKey* Key();
  void ReadKey();
  // Reads the signer's PKCS#12 with the accepted PIN into the process's key store.
  void UnlockSigner(const SealKey& key, std::u16string_view pin);

  bool keyRead_ = false;
  std::optional<SealKey> key_;
  // The PIN of an accepted WebWritePin, until WebAddGlobalPinTag records it.
  std::optional<std::u16string> pendingPin_;
};

}  // namespace sealrun::components::sealkey
