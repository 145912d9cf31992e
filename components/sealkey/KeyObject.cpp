#include "components/sealkey/KeyObject.h"

#include <cstring>

#include "components/sealkey/PictureText.h"
#include "components/sealkey/PinCheck.h"
#include "components/sealkey/RememberedPin.h"
#include "components/sealkey/SealHeader.h"
#include "components/sealkey/TokenPin.h"
#include "platform/crypto/KeyStore.h"
#include "platform/fs/DebugTrace.h"
#include "platform/fs/KnownFolders.h"
#include "platform/text/Utf.h"

namespace sealrun::components::sealkey {
namespace {

using namespace platform::com;

// Traces name what happened, never a PIN or key material.
void Trace(std::string_view what) { platform::fs::DebugTrace("Sealrun.KeyObject: " + std::string(what)); }

// A BSTR of n characters whose first n bytes are the picture, the form the seal's consumers read.
HRESULT ReturnPictureBytes(DispatchCall& call, const std::string& bytes) {
  Bstr picture = Bstr::Attach(SysAllocStringLen(nullptr, static_cast<UINT>(bytes.size())));
  if (picture.IsNull()) return E_OUTOFMEMORY;
  if (!bytes.empty()) std::memcpy(picture.Get(), bytes.data(), bytes.size());
  Variant result = Variant::AttachBstr(picture.Detach());
  return call.ReturnVariant(*result.Get());
}

int32_t PinAnswer(platform::crypto::PinTryResult result) {
  using platform::crypto::PinTryResult;
  switch (result) {
    case PinTryResult::Accepted:
      return kKeyOk;
    case PinTryResult::Locked:
      return kKeyLocked;
    case PinTryResult::NotCounted:
      return kKeyWriteFailed;
    case PinTryResult::Refused:
    case PinTryResult::Unchecked:
      break;
  }
  return kKeyWrongPin;
}

}  // namespace

KeyObject::~KeyObject() {
  if (pendingPin_) WipeSecret(*pendingPin_);
}

const DispatchTable<KeyObject>& KeyObject::DispatchMembers() {
  static const DispatchTable<KeyObject> table{{
      {.name = u"WebCreateKeyObject", .id = 1, .method = &KeyObject::WebCreateKeyObject},
      {.name = u"WebOpenKeyObject", .id = 2, .method = &KeyObject::WebOpenKeyObject},
      {.name = u"WebDeleteKeyObject", .id = 3, .method = &KeyObject::WebDeleteKeyObject},
      {.name = u"WebGetKeySerialNumber", .id = 4, .method = &KeyObject::WebGetKeySerialNumber},
      {.name = u"WebLoadSignatureEx", .id = 5, .argCount = 2, .method = &KeyObject::WebLoadSignatureEx},
      {.name = u"SignCount", .id = 6, .get = &KeyObject::SignCount},
      {.name = u"HeadInformations", .id = 7, .argCount = 1, .get = &KeyObject::HeadInformations},
      {.name = u"DeCodeImgData", .id = 8, .argCount = 1, .method = &KeyObject::DeCodeImgData},
      {.name = u"VerifyPin", .id = 9, .argCount = 1, .method = &KeyObject::VerifyPin},
      {.name = u"WebWritePin", .id = 10, .argCount = 1, .method = &KeyObject::WebWritePin},
      {.name = u"WebAddGlobalPinTag", .id = 11, .method = &KeyObject::WebAddGlobalPinTag},
      {.name = u"WebDelGlobalPinTag", .id = 12, .method = &KeyObject::WebDelGlobalPinTag},
      {.name = u"WebExistsGlobalPinTag", .id = 13, .method = &KeyObject::WebExistsGlobalPinTag},
      {.name = u"WebReadPin", .id = 14, .method = &KeyObject::WebReadPin},
      {.name = u"WebUnlockKey", .id = 15, .argCount = 1, .method = &KeyObject::WebUnlockKey},
  }};
  return table;
}

void KeyObject::ReadKey() {
  key_ = ReadSealKey(platform::fs::SealKeyDir());
  keyRead_ = true;
  if (!key_) Trace("no seal key inserted");
}

const SealKey* KeyObject::Key() {
  if (!keyRead_) ReadKey();
  return key_ ? &*key_ : nullptr;
}

HRESULT KeyObject::WebCreateKeyObject(DispatchCall& call) {
  ReadKey();
  return call.ReturnInt(key_ ? kKeyOk : kKeyMissing);
}

HRESULT KeyObject::WebOpenKeyObject(DispatchCall& call) { return call.ReturnInt(Key() ? kKeyOk : kKeyMissing); }

HRESULT KeyObject::WebDeleteKeyObject(DispatchCall& call) {
  key_.reset();
  keyRead_ = false;
  return call.ReturnInt(kKeyOk);
}

HRESULT KeyObject::WebGetKeySerialNumber(DispatchCall& call) {
  const SealKey* key = Key();
  return call.ReturnString(key ? std::u16string_view(key->serial) : std::u16string_view());
}

HRESULT KeyObject::WebLoadSignatureEx(DispatchCall& call) {
  bool withPicture = false;
  int32_t index = 0;
  if (const HRESULT hr = call.ArgBool(0, withPicture); FAILED(hr)) return hr;
  if (const HRESULT hr = call.ArgInt(1, index); FAILED(hr)) return hr;
  // -1 loads the whole key: read it afresh, as a reinserted hardware key is read.
  if (index < 0) {
    ReadKey();
    return call.ReturnInt(key_ ? kKeyOk : kKeyMissing);
  }
  const SealKey* key = Key();
  if (key == nullptr) return call.ReturnInt(kKeyMissing);
  return call.ReturnInt(static_cast<size_t>(index) < key->seals.size() ? kKeyOk : kKeyNoSuchSeal);
}

HRESULT KeyObject::SignCount(DispatchCall& call) {
  const SealKey* key = Key();
  return call.ReturnInt(key ? static_cast<int32_t>(key->seals.size()) : 0);
}

HRESULT KeyObject::HeadInformations(DispatchCall& call) {
  int32_t index = 0;
  if (const HRESULT hr = call.ArgInt(0, index); FAILED(hr)) return hr;
  const SealKey* key = Key();
  if (key == nullptr || index < 0 || static_cast<size_t>(index) >= key->seals.size()) return DISP_E_BADINDEX;
  const SealEntry& entry = key->seals[static_cast<size_t>(index)];
  // A picture removed since the key was read gives an empty ImgValue, which decodes to no picture.
  std::u16string imgValue;
  if (const auto bytes = ReadKeyFile(entry.picture, kMaxPictureBytes))
    imgValue = PictureToText(*bytes);
  else
    Trace("a seal picture can no longer be read");
  ComPtr<SealHeader> header;
  if (const HRESULT hr = SealHeader::Create(header, entry, std::move(imgValue)); FAILED(hr)) return hr;
  const Variant value(static_cast<IDispatch*>(header.Get()));
  return call.ReturnVariant(*value.Get());
}

HRESULT KeyObject::DeCodeImgData(DispatchCall& call) {
  std::u16string text;
  if (const HRESULT hr = call.ArgString(0, text); FAILED(hr)) return hr;
  const auto bytes = PictureFromText(text);
  if (!bytes) return call.Raise(E_INVALIDARG, u"The picture data is not valid.");
  if (bytes->size() > kMaxPictureBytes) return call.Raise(E_INVALIDARG, u"The picture data is too large.");
  return ReturnPictureBytes(call, *bytes);
}

void KeyObject::UnlockSigner(const SealKey& key, std::u16string_view pin) {
  if (!key.signerPkcs12) {
    Trace("the key holds no signer certificate");
    return;
  }
  const auto pkcs12 = ReadKeyFile(*key.signerPkcs12, kMaxPkcs12Bytes);
  if (!pkcs12) {
    Trace("the signer's PKCS#12 cannot be read; no certificate");
    return;
  }
  std::string password = platform::text::Utf16ToUtf8(pin);
  const auto imported = platform::crypto::KeyStore::Instance().ImportPkcs12(platform::crypto::AsBytes(*pkcs12), password);
  WipeSecret(password);
  if (!imported) Trace("the signer's PKCS#12 does not open; no certificate");
}

HRESULT KeyObject::VerifyPin(DispatchCall& call) {
  std::u16string pin;
  if (const HRESULT hr = call.ArgString(0, pin); FAILED(hr)) return hr;
  const SealKey* key = Key();
  int32_t result = kKeyMissing;
  if (key != nullptr && key->signerToken) {
    result = CheckTokenPin(*key, pin, /*registerSigner=*/true);
  } else if (key != nullptr) {
    result = PinAnswer(CheckPinCounted(*key, pin));
    if (result == kKeyOk)
      UnlockSigner(*key, pin);
    else
      Trace(result == kKeyLocked ? "PIN not checked: the key is locked"
            : result == kKeyWriteFailed ? "PIN not checked: the try counter cannot be written"
                                        : "PIN refused");
  }
  WipeSecret(pin);
  return call.ReturnInt(result);
}

HRESULT KeyObject::WebWritePin(DispatchCall& call) {
  std::u16string pin;
  if (const HRESULT hr = call.ArgString(0, pin); FAILED(hr)) return hr;
  const SealKey* key = Key();
  // Only a PIN the key accepts is ever remembered; a refusal fails the call so no tag follows it.
  if (key == nullptr) {
    WipeSecret(pin);
    return call.Raise(E_FAIL, u"No seal key is inserted.");
  }
  const int32_t answer =
      key->signerToken ? CheckTokenPin(*key, pin, /*registerSigner=*/false) : PinAnswer(CheckPinCounted(*key, pin));
  if (answer != kKeyOk) {
    WipeSecret(pin);
    Trace("PIN to remember refused");
    return call.Raise(E_ACCESSDENIED, answer == kKeyLocked ? u"The key is locked after too many wrong PINs."
                                                           : u"The PIN was not accepted.");
  }
  if (pendingPin_) WipeSecret(*pendingPin_);
  pendingPin_ = std::move(pin);
  return call.ReturnInt(kKeyOk);
}

HRESULT KeyObject::WebAddGlobalPinTag(DispatchCall& call) {
  const SealKey* key = Key();
  if (key == nullptr) return call.ReturnInt(kKeyMissing);
  if (!pendingPin_) return call.ReturnInt(kKeyNoPinWritten);
  const bool written = RememberedPinStore::ForCurrentUser(key->folder).Write(key->serial, *pendingPin_);
  WipeSecret(*pendingPin_);
  pendingPin_.reset();
  if (!written) Trace("the remembered PIN cannot be written");
  return call.ReturnInt(written ? kKeyOk : kKeyWriteFailed);
}

HRESULT KeyObject::WebDelGlobalPinTag(DispatchCall& call) {
  const SealKey* key = Key();
  if (key == nullptr) return call.ReturnInt(kKeyMissing);
  return call.ReturnInt(RememberedPinStore::ForCurrentUser(key->folder).Remove(key->serial) ? kKeyOk : kKeyWriteFailed);
}

HRESULT KeyObject::WebExistsGlobalPinTag(DispatchCall& call) {
  const SealKey* key = Key();
  const bool exists = key != nullptr && RememberedPinStore::ForCurrentUser(key->folder).Exists(key->serial);
  const Variant result = Variant::I2(exists ? 1 : 0);
  return call.ReturnVariant(*result.Get());
}

HRESULT KeyObject::WebReadPin(DispatchCall& call) {
  const SealKey* key = Key();
  std::optional<std::u16string> pin;
  if (key != nullptr) pin = RememberedPinStore::ForCurrentUser(key->folder).Read(key->serial);
  const HRESULT hr = call.ReturnString(pin ? std::u16string_view(*pin) : std::u16string_view());
  if (pin) WipeSecret(*pin);
  return hr;
}

HRESULT KeyObject::WebUnlockKey(DispatchCall& call) {
  std::u16string code;
  if (const HRESULT hr = call.ArgString(0, code); FAILED(hr)) return hr;
  const SealKey* key = Key();
  int32_t result = kKeyMissing;
  if (key != nullptr && key->signerToken) {
    result = kKeyOnToken;
  } else if (key != nullptr && !key->unlockCode) {
    result = kKeyNoUnlockCode;
  } else if (key != nullptr) {
    result = PinAnswer(CheckUnlockCodeCounted(*key, code));
    Trace(result == kKeyOk ? "key unlocked" : "unlock code refused");
  }
  WipeSecret(code);
  return call.ReturnInt(result);
}

}  // namespace sealrun::components::sealkey
