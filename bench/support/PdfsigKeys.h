#pragma once
// poppler's pdfsig with the demo key: an NSS database made from the key's PKCS#12 (the signer
// certificate with its private key, and the root certificate marked as a trusted issuer so that
// validation goes through the whole chain), and the command lines that sign and validate one file.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/support/TempFolder.h"

namespace sealrun::bench {

class PdfsigKeys {
 public:
  // Null with `failure` saying why (tools missing, import refused).
  static std::unique_ptr<PdfsigKeys> Create(std::string& failure);
  // Made only by Create.
  class Passkey {
    friend class PdfsigKeys;
    Passkey() = default;
  };
  explicit PdfsigKeys(Passkey) {}

  // pdfsig writes the signed document to a new file; the input stays as it was.
  std::vector<std::string> SignCommand(const std::filesystem::path& input, const std::filesystem::path& output) const;
  // Validates every signature of the file, the certificate chain included.
  std::vector<std::string> VerifyCommand(const std::filesystem::path& file) const;
  const std::string& Nickname() const { return nickname_; }

 private:
  TempFolder folder_{"sealrun-bench-nss"};
  std::string database_;  // "sql:<folder>"
  std::string nickname_;
};

// True when pdfsig's report of a file says every signature and its certificate are valid.
bool PdfsigReportsAllValid(const std::string& report, int expectedSignatures);

}  // namespace sealrun::bench
