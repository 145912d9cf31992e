#pragma once
// A SoftHSM2 token of a test's own: a token folder and a configuration in a temporary folder
// (SOFTHSM2_CONF names it, for this process and the programs it starts), initialised with a user PIN and
// holding the demo signer's private key and certificate under one label and id, as a seal key's token
// would hold them.
#include <filesystem>
#include <memory>
#include <string>

#include "tests/testsupport/TempDir.h"

namespace sealrun::testing {

class SoftToken {
 public:
  static constexpr char kModule[] = "/usr/lib/softhsm/libsofthsm2.so";
  static constexpr char kLabel[] = "Sealrun Test Token";
  static constexpr char kObject[] = "seal signer";
  static constexpr char kUserPin[] = "123456";
  static constexpr char kSecurityOfficerPin[] = "12345678";

  // The token, or null with the reason in `why` (SoftHSM2 missing, the token not made).
  static std::unique_ptr<SoftToken> Create(std::string& why);

  // The RFC 7512 URI of the signer's key, through `module` (SoftHSM2's own module by default).
  static std::string KeyUri(const std::string& module = kModule);

  const std::filesystem::path& Folder() const { return temp_.Path(); }

  struct Token {};
  explicit SoftToken(Token);

 private:
  TempDir temp_;
  ScopedEnv configuration_;
};

// A copy of the demo seal key in `folder` whose signer is the token key `uri`: key.xml names the token,
// the PKCS#12 file and the PIN verifiers are gone (the private key lives on the token, which checks the PIN).
void MakeTokenKeyFolder(const std::filesystem::path& folder, const std::string& uri);

}  // namespace sealrun::testing
