#include "components/certlib/CertLibrary.h"

#include <algorithm>
#include <ctime>

#include "components/certlib/CertValidation.h"
#include "components/certlib/MessageSigner.h"
#include "platform/crypto/TokenKey.h"
#include "platform/fs/DebugTrace.h"
#include "platform/fs/Paths.h"
#include "platform/text/Utf.h"

namespace sealrun::components::certlib {
namespace {

using com::DispatchCall;
using com::HRESULT;
using com::Variant;

// A 16-bit answer, as the callers read these results.
HRESULT ReturnFlag(DispatchCall& call, bool value) {
  return call.ReturnVariant(*Variant::I2(value ? 1 : 0).Get());
}

// An argument as text; a value that is no text (or missing) reads as empty, so a wrong argument type
// gives the answer for "nothing given" instead of a failed call.
std::u16string ArgText(DispatchCall& call, com::UINT index) {
  if (index >= call.ArgCount() || call.IsMissing(index)) return {};
  return Variant(call.Arg(index)).AsString().value_or(std::u16string());
}

void Trace(std::string_view line) { platform::fs::DebugTrace(line); }

// The signer certificate a token holds, read without the PIN.
std::optional<platform::crypto::Certificate> TokenCertificate(const std::string& tokenUri) {
  const auto uri = platform::crypto::ParseTokenUri(tokenUri);
  if (!uri) {
    Trace("CertLibrary: the key names its token in a form that cannot be used");
    return std::nullopt;
  }
  platform::crypto::TokenResult read = platform::crypto::ReadTokenCertificate(*uri);
  if (!read.Ok()) {
    Trace("CertLibrary: no signer certificate, " + std::string(platform::crypto::TokenFailureText(read.failure)));
    return std::nullopt;
  }
  return std::move(*read.certificate);
}

}  // namespace

const com::DispatchTable<CertLibrary>& CertLibrary::DispatchMembers() {
  static const com::DispatchTable<CertLibrary> table{{
      {.name = u"CSPName", .id = 1, .get = &CertLibrary::GetCspName, .put = &CertLibrary::PutCspName},
      {.name = u"GetContainer", .id = 2, .method = &CertLibrary::GetContainer},
      {.name = u"CertContext", .id = 3, .get = &CertLibrary::GetCertContext},
      {.name = u"VerifyCertValidity2", .id = 4, .argCount = 4, .method = &CertLibrary::VerifyCertValidity2},
      {.name = u"SetParams", .id = 5, .argCount = 12, .method = &CertLibrary::SetParams},
      {.name = u"CardPin", .id = 6, .put = &CertLibrary::PutCardPin},
      {.name = u"GetCertificate", .id = 7, .argCount = 1, .method = &CertLibrary::GetCertificate},
      {.name = u"CrySignMessage", .id = 8, .argCount = 2, .method = &CertLibrary::CrySignMessage},
      {.name = u"SignMessage", .id = 9, .get = &CertLibrary::GetSignMessage},
  }};
  return table;
}

HRESULT CertLibrary::GetCspName(DispatchCall& call) { return call.ReturnString(cspName_); }

HRESULT CertLibrary::PutCspName(DispatchCall& call) {
  std::u16string name;
  if (const HRESULT hr = call.PutString(name); com::FAILED(hr)) return hr;
  cspName_ = std::move(name);
  // Another provider: what was opened through the old one is no longer the caller's.
  container_.reset();
  selected_.reset();
  return com::S_OK;
}

bool CertLibrary::ProviderMatches(const SoftKey& key) const {
  return cspName_.empty() || platform::text::EqualsIgnoreAsciiCase(cspName_, key.provider);
}

std::optional<CertLibrary::Container> CertLibrary::OpenContainer() const {
  auto key = ReadInsertedKey();
  if (!key) {
    Trace("CertLibrary: no seal key inserted");
    return std::nullopt;
  }
  if (!ProviderMatches(*key)) {
    Trace("CertLibrary: the inserted key belongs to another provider");
    return std::nullopt;
  }
  const auto pem = ReadKeyFile(key->signerCertificate);
  if (!pem && !key->signerToken.empty()) {
    auto onToken = TokenCertificate(key->signerToken);
    if (!onToken) return std::nullopt;
    return Container{std::move(*key), std::move(*onToken)};
  }
  if (!pem) return std::nullopt;
  auto signer = platform::crypto::Certificate::FromBytes(platform::crypto::AsBytes(*pem));
  if (!signer) {
    Trace("CertLibrary: the key's signer certificate does not parse");
    return std::nullopt;
  }
  return Container{std::move(*key), std::move(*signer)};
}

HRESULT CertLibrary::GetContainer(DispatchCall& call) {
  container_ = OpenContainer();
  selected_.reset();
  return ReturnFlag(call, container_.has_value());
}

HRESULT CertLibrary::GetCertContext(DispatchCall& call) {
  if (!container_) return call.ReturnString(u"");
  return call.ReturnString(platform::text::Widen(container_->signer.Pem()));
}

HRESULT CertLibrary::VerifyCertValidity2(DispatchCall& call) {
  const std::string pem = platform::text::Utf16ToUtf8(ArgText(call, 0));
  ValidationRequest request;
  request.certificatePem = pem;
  request.rootPath = platform::fs::PathFromUtf16(ArgText(call, 1));
  request.revocationListPath = platform::fs::PathFromUtf16(ArgText(call, 2));
  // Only an explicit 0 leaves the revocation list out.
  const bool modeGiven = call.Arg(3).vt != com::VT_EMPTY && !call.IsMissing(3);
  request.mode = modeGiven ? Variant(call.Arg(3)).AsInt().value_or(1) : 1;
  request.at = std::time(nullptr);
  const ValidationCode code = ValidateSigner(request);
  Trace("CertLibrary: certificate validation code " + std::to_string(static_cast<int>(code)));
  return call.ReturnInt(static_cast<std::int32_t>(code));
}

HRESULT CertLibrary::SetParams(DispatchCall& call) {
  keySerial_ = ArgText(call, 0);
  sealSerial_ = ArgText(call, 1);
  return call.ReturnInt(0);
}

HRESULT CertLibrary::PutCardPin(DispatchCall& call) {
  std::u16string pin;
  if (const HRESULT hr = call.PutString(pin); com::FAILED(hr)) return hr;
  std::string utf8 = platform::text::Utf16ToUtf8(pin);
  pin_.Assign(utf8);
  std::fill(pin.begin(), pin.end(), u'\0');
  return com::S_OK;
}

HRESULT CertLibrary::GetCertificate(DispatchCall& call) {
  const std::string pem = platform::text::Utf16ToUtf8(ArgText(call, 0));
  auto certificate = platform::crypto::Certificate::FromPem(pem);
  if (certificate)
    selected_ = std::move(*certificate);
  else
    selected_.reset();
  return ReturnFlag(call, selected_.has_value());
}

HRESULT CertLibrary::CrySignMessage(DispatchCall& call) {
  signMessage_.clear();
  if (!container_) {
    Trace("CertLibrary: nothing signed, no key container is open");
    return ReturnFlag(call, false);
  }
  // The key serial the caller read when the signing began: a key swapped since then does not sign.
  if (!keySerial_.empty() && keySerial_ != container_->key.serial) {
    Trace("CertLibrary: nothing signed, the inserted key is not the one the signing began with");
    return ReturnFlag(call, false);
  }
  const std::u16string data = ArgText(call, 0);
  const std::int32_t length = Variant(call.Arg(1)).AsInt().value_or(-1);
  if (length <= 0 || data.empty()) {
    Trace("CertLibrary: nothing signed, no data");
    return ReturnFlag(call, false);
  }
  const std::size_t count = std::min(static_cast<std::size_t>(length), data.size());
  const std::string bytes = platform::text::Utf16ToUtf8(std::u16string_view(data).substr(0, count));

  const platform::crypto::Certificate& signer = selected_ ? *selected_ : container_->signer;
  const SoftKey& key = container_->key;
  const SignedMessage message =
      key.signerToken.empty()
          ? SignAttached(key.folder, key.signerPkcs12, pin_.View(), signer, platform::crypto::AsBytes(bytes))
          : SignAttachedOnToken(key.signerToken, pin_.View(), signer, platform::crypto::AsBytes(bytes));
  if (!message.der) {
    Trace(message.failure == SignFailure::WrongPin    ? "CertLibrary: nothing signed, the PIN does not open the key"
          : message.failure == SignFailure::KeyLocked ? "CertLibrary: nothing signed, the key is locked"
          : message.failure == SignFailure::PinNotCounted
              ? "CertLibrary: nothing signed, the key's try counter cannot be written"
              : "CertLibrary: nothing signed");
    return ReturnFlag(call, false);
  }
  signMessage_ = Base64Text(*message.der);
  return ReturnFlag(call, true);
}

HRESULT CertLibrary::GetSignMessage(DispatchCall& call) { return call.ReturnString(signMessage_); }

}  // namespace sealrun::components::certlib
