#pragma once
// Why one file of a signing run was not sealed. The reason is set where the failure is found and travels
// typed up to the run, which traces it with the file's name; the number the run's callers know (0 sealed,
// anything else failed) comes from it in one place, Code().
#include <optional>
#include <string>

#include "signing/DocumentPermission.h"
#include "signing/Placement.h"
#include "verify/Certification.h"

namespace sealrun::signing {

// The per-document numbers besides 0 (sealed) and the engine's own results, which pass through.
inline constexpr int kOnlineNoContext = -1;       // the engine never asked for the server's signature
inline constexpr int kStampOpenFailed = -2;       // not opened, permission refused or certified, no placement
inline constexpr int kOnlineEmptySignature = -2;  // the server's answer carries no signature
inline constexpr int kOnlineRefused = -3;         // refused, no answer, no certificate, or an unusable answer
// The stamping image does not decode: nothing is written, the file is left as it was. (A seal without its
// picture would be reported as sealed while nobody can see it.)
inline constexpr int kStampNoImage = -4;
// The record names a seal the key does not have: nothing is written.
inline constexpr int kStampNoRecord = -5;

enum class StampFailure {
  NotOpened,             // missing, not a PDF, damaged, or a password the engine does not have
  PermissionDenied,      // the document forbids filling forms or modifying it (DeniedPermission says which)
  BreaksCertification,   // the document is certified and a seal of the run's form would break it (Certification)
  NoPages,
  NoPlacement,           // the template's page or the keyword is not in the document (PlacementFailed says why)
  PageUnreadable,        // the target page's boxes or rotation could not be read
  NoFingerprint,         // the document fingerprint could not be computed
  NoRecord,              // the chosen seal names no record of the key
  NoImage,               // the stamping picture does not decode
  EngineFailed,          // an engine call before the save failed (EngineCode)
  NotSaved,              // the engine's save failed (EngineCode)
  NotSigned,             // the engine could not sign with the signer certificate (EngineCode)
  MessageNotSigned,      // the key has a signer, but it did not sign the seal's message (a token pulled out)
  NoSigningRequest,      // the engine's save never asked for the server's signature
  NoServerAnswer,        // the signing server did not answer
  ServerRefused,         // the server's answer does not say OK
  UnusableServerAnswer,  // OK, but no certificate, or data that is not Base64, a certificate or its signature
  NoServerSignature,     // OK, but the answer carries no signature
  OnlineSigningFailed,   // the online signing stopped on an unexpected error
  NotMerged,             // the server's signature could not be merged into the file (EngineCode)
  SavedCopyUnreadable,   // the written copy does not open: it never replaces the file
  SavedSealInvalid,      // the new seal does not verify in the written copy: it never replaces the file
};

class [[nodiscard]] StampResult {
 public:
  // Sealed.
  StampResult() = default;
  // A failure; engine failures carry the engine's code (an engine that reported success while failing
  // counts as QP_ERR_ENGINE).
  StampResult(StampFailure failure, int engineCode = 0);  // NOLINT: implicit on purpose, as Result's Error
  static StampResult Denied(Permission permission);
  static StampResult NotPlaced(PlacementFailure why);
  static StampResult Certified(verify::CertificationLevel level);

  bool Ok() const { return !failure_.has_value(); }
  explicit operator bool() const { return Ok(); }
  StampFailure Failure() const;                    // only when failed
  std::optional<Permission> DeniedPermission() const;
  std::optional<PlacementFailure> PlacementFailed() const { return placement_; }
  std::optional<verify::CertificationLevel> Certification() const { return certification_; }
  int EngineCode() const { return engineCode_; }  // 0 unless an engine call failed

  // The per-document number: 0, a kStamp* or kOnline* number, or the engine's result.
  int Code() const;
  // What went wrong, in a few words, for the debug trace ("permission to fill forms denied").
  std::string Reason() const;

 private:
  std::optional<StampFailure> failure_;
  std::optional<Permission> permission_;
  std::optional<PlacementFailure> placement_;
  std::optional<verify::CertificationLevel> certification_;
  int engineCode_ = 0;
};

}  // namespace sealrun::signing
