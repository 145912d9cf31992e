#pragma once
// The name of a key on a PKCS#11 token, as an RFC 7512 URI:
//   pkcs11:token=Sealrun%20Key;object=signer;type=private?module-path=/usr/lib/softhsm/libsofthsm2.so
// Path attributes select the token (token, serial, manufacturer, model) and the object (object, id, type);
// the query's module-path names the module to load. A PIN in the URI (pin-value, pin-source) is refused:
// the PIN is the user's to type, never a file's to hold.
#include <string>
#include <string_view>

#include "platform/crypto/Bytes.h"
#include "platform/crypto/Result.h"

namespace sealrun::platform::crypto {

struct TokenUri {
  std::string modulePath;  // empty: the system's module proxy (p11-kit), which serves every registered module
  std::string token;       // the token's label
  std::string serial;
  std::string manufacturer;
  std::string model;
  std::string object;      // the key's (and its certificate's) label
  Bytes id;                // the key's CKA_ID
};

// The URI's parts, percent-decoded; InvalidInput for text that is no pkcs11 URI, for unknown or repeated
// attributes (an attribute not understood could select another key than the one meant), for a type other
// than "private" or "cert", and for a PIN in the URI.
Result<TokenUri> ParseTokenUri(std::string_view uri);

}  // namespace sealrun::platform::crypto
