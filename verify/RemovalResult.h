#pragma once
// One file of a removal run: the latest seal removed, or why not. The number the run's callers know comes
// from it in one place, Code().
#include <optional>
#include <string>

#include "verify/RowOutcome.h"
#include "verify/VerificationResult.h"

namespace sealrun::verify {

inline constexpr int kSealRemoved = 0;
inline constexpr int kNothingRemoved = 1;
// kDocumentOpenFailed (-1) when the document does not open; a failed save passes the engine's result
// through (the file is left as it was), and a written copy that fails its check gives QP_ERR_SAVE (not
// written right) or QP_ERR_VERIFY (the seals in it are not as the removal leaves them).

// The remarks of rows whose latest seal stays because it is not shown to be the user's.
inline constexpr char16_t kNotTheKeysSealText[] = u"最新印章不属于当前印章密钥";
inline constexpr char16_t kMakerUnknownText[] = u"最新印章的签名无法验证，不能确认属于当前印章密钥";

enum class RemovalFailure {
  NotOpened,         // missing, not a PDF, damaged, or a password the engine does not have
  NoSeal,            // the document holds no seal of the run's form
  RecordUnreadable,  // the latest seal's record cannot be read, so its owner is unknown
  OtherOwner,        // the latest seal's record does not name the key's serial
  OtherCertificate,  // the record names the key, but its signed message or signature is another certificate's
  MakerUnknown,      // the latest seal's signed message or signature does not verify, so its maker is unknown
  NotDeleted,        // the engine could not take the latest seal out
  NotSaved,          // the engine's save failed (EngineCode)
  // The written copy was checked before it could replace the file, and it never did:
  CopyUnreadable,    // the copy does not open on its own
  CopyNotOneUpdate,  // the copy is not the file with exactly one update appended
  CopySealStillThere,  // the removed seal still shows in the copy
  CopyEarlierSealLost,  // a seal that was valid in the file is missing or invalid in the copy
};

class [[nodiscard]] RemovalResult {
 public:
  // Removed.
  RemovalResult() = default;
  RemovalResult(RemovalFailure failure, int engineCode = 0);  // NOLINT: implicit on purpose

  bool Removed() const { return !failure_.has_value(); }
  explicit operator bool() const { return Removed(); }
  RemovalFailure Failure() const;  // only when not removed
  int EngineCode() const { return engineCode_; }
  // Every file that kept its seal is highlighted, except one that does not open.
  Highlight RowHighlight() const;

  // kSealRemoved, kNothingRemoved, kDocumentOpenFailed, or the engine's save result (QP_ERR_SAVE or
  // QP_ERR_VERIFY for a copy that failed its check).
  int Code() const;
  // For the debug trace: "the latest seal is another key's".
  std::string Reason() const;
  // The row's remark when the latest seal is not shown to be the user's; nothing for other outcomes.
  std::optional<std::u16string> Remark() const;

 private:
  std::optional<RemovalFailure> failure_;
  int engineCode_ = 0;
};

}  // namespace sealrun::verify
