#pragma once
// Signing a message with the key's signer: the PKCS#12 file unlocked with the PIN gives the private
// key, and the result is a CMS SignedData that carries the signed data itself (attached), so the one
// text holds both the data and the proof.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/crypto/Bytes.h"
#include "platform/crypto/Certificate.h"

namespace sealrun::components::certlib {

enum class SignFailure {
  NoKeyFile,          // the PKCS#12 file is missing or does not parse
  WrongPin,           // the PIN does not open the PKCS#12 file
  KeyLocked,          // too many wrong PINs: the key's try counter let no PIN be checked
  PinNotCounted,      // the key's try counter cannot be written, so no PIN is checked
  CertificateMismatch,// the file's key does not belong to the certificate asked for
  SigningFailed,
};

struct SignedMessage {
  std::optional<platform::crypto::Bytes> der;
  SignFailure failure = SignFailure::SigningFailed;
};

// The DER SignedData (SHA-256, signing time, the signer's certificate and any further certificates of
// the file) over `data`, made with the key of `pkcs12Path` opened by `pin` (UTF-8). `signer` is the
// certificate the caller selected; the file's key must be its key. Opening the file with a PIN counts
// under the try counter of `keyFolder` as the key's own PIN check does, so guessing through the library
// is slowed and locked the same way; a key still unlocked from an earlier document opens nothing again.
SignedMessage SignAttached(const std::filesystem::path& keyFolder, const std::filesystem::path& pkcs12Path,
                           std::string_view pin,
                           const platform::crypto::Certificate& signer, platform::crypto::ByteView data);

// The same with the signer's key on a PKCS#11 token (`tokenUri`): the token checks the PIN and counts
// wrong ones, and signs without the key leaving it. A token that is missing or was removed gives NoKeyFile.
SignedMessage SignAttachedOnToken(const std::string& tokenUri, std::string_view pin,
                                  const platform::crypto::Certificate& signer, platform::crypto::ByteView data);

// Standard Base64 on one line, as SignMessage hands the signed message out.
std::u16string Base64Text(platform::crypto::ByteView bytes);

}  // namespace sealrun::components::certlib
