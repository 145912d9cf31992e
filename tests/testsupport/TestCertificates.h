#pragma once
// Keys and certificates made on the fly for tests, so no key file is committed: an RSA key, a
// certificate (self-signed or issued by a test CA) and a password-protected PKCS#12 of both.
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace sealrun::testing {

struct TestIdentity {
  std::vector<std::uint8_t> certificateDer;
  std::string certificatePem;
  std::string privateKeyPem;          // unencrypted PKCS#8
  std::vector<std::uint8_t> pkcs12;   // certificate + key (+ issuer), protected by `password`
  std::string password;
};

struct TestCertificateOptions {
  std::string commonName = "Sealrun Test Signer";  // empty: no CN attribute
  std::string organization;                         // empty: no O attribute
  std::string organizationalUnit;
  std::string country = "CN";
  std::string email;                                // goes into the alternative name when not empty
  std::vector<std::string> subjectSerialNumbers;    // serialNumber attributes of the subject, in order
  std::string extendedKeyUsage;                     // e.g. "critical,timeStamping"; empty: none
  std::uint64_t serial = 0x1001;
  // Validity relative to now, in seconds (negative: in the past).
  std::int64_t notBeforeOffset = -3600;
  std::int64_t notAfterOffset = 365LL * 24 * 3600;
  bool isCa = false;
  int rsaBits = 2048;
  std::string password = "test-password";
  // Fresh key instead of the one shared by every identity of the process (2048-bit key generation
  // is slow; the shared key keeps test programs fast).
  bool freshKey = false;
};

// A self-signed certificate (SHA-256 with RSA) with its key and PKCS#12.
TestIdentity MakeSelfSignedForTesting(const TestCertificateOptions& options = {});
// A certificate issued by `issuer` (made by MakeSelfSignedForTesting with isCa) with a fresh key.
TestIdentity MakeIssuedForTesting(const TestIdentity& issuer, const TestCertificateOptions& options = {});

// A revocation list signed by `issuer` that lists the given serial numbers.
std::vector<std::uint8_t> MakeRevocationListForTesting(const TestIdentity& issuer,
                                                       const std::vector<std::uint64_t>& revokedSerials,
                                                       std::int64_t nextUpdateOffset = 30LL * 24 * 3600);

// A CMS SignedData (SHA-256, the signer's certificate carried unless `withCertificate` is false) over the
// data, the data inside it (attached) or not, as DER.
enum class MessageData { Attached, Detached };
std::vector<std::uint8_t> SignMessageForTesting(const TestIdentity& signer, std::string_view data, MessageData form,
                                                bool withCertificate = true);

// One identity per process, made on first use: the default options.
const TestIdentity& SharedTestIdentity();

}  // namespace sealrun::testing
