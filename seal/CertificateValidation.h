#pragma once
// Validation of the signer certificate through the certificate library before a batch signing run, and
// the message the user sees for each refusal.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "verify/SignerTrust.h"

namespace sealrun::seal {

// The library did not answer (no library, method unknown, call failed): the run goes on.
inline constexpr int32_t kValidationNotAnswered = -100;
// The library answered something that is not a code: the run does not start.
inline constexpr int32_t kValidationUnreadable = -1;

// The root certificate and revocation list beside the module; verification judges seal signers with them too.
using verify::kRevocationListFile;
using verify::kRootCertificateFile;

// The folder that holds the add-in module, where the root certificate and the revocation list stand.
std::filesystem::path ValidationFileFolder();

// The validation code of the signer certificate: 0 valid, kValidationNotAnswered, or the library's code.
int32_t ValidateSignerCertificate(std::u16string_view provider);
// Whether a batch signing run may start after validation (valid, or the library did not answer).
bool ValidationLetsRunStart(int32_t code);
// The message for a code, or nothing for codes without one.
std::optional<std::u16string> ValidationMessage(int32_t code);
// Shows the code's message (caption "提示", error icon, owned by the active window); nothing for codes
// without one.
void ShowValidationMessage(int32_t code);

}  // namespace sealrun::seal
