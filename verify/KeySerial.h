#pragma once
// The seal key a record names, and whether a signer's certificate contradicts it. A record names its key in
// its key-serial line: "KeySerial=" in a seal annotation's record, "SignatureKeySN:...;" in a signature
// field's. A certificate names a key only where a certificate can carry such a serial: the serialNumber
// attributes (2.5.4.5) of its subject. A certificate without one (the demo key's, for one) names no key and
// so never contradicts a record; its own serial number is the issuer's numbering, not a key's.
#include <string>
#include <string_view>
#include <vector>

#include "platform/crypto/Certificate.h"

namespace sealrun::verify {

// Every key serial the record names, in order (a record this system writes has exactly one).
std::vector<std::u16string> RecordKeySerials(std::u16string_view record);

// True when the record names a key and every key serial it names is exactly `keySerial`. An empty serial
// names no key.
bool RecordNamesKey(std::u16string_view record, std::u16string_view keySerial);

// The key serials the certificate carries (its subject's serialNumber attributes).
std::vector<std::u16string> CertificateKeySerials(const platform::crypto::Certificate& certificate);

// True when the certificate carries key serials and the record names a key serial that is none of them.
bool SerialContradictsSigner(std::u16string_view record, const platform::crypto::Certificate& signer);

}  // namespace sealrun::verify
