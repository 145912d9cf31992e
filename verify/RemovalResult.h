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
// through (the file is left as it was).

enum class RemovalFailure {
  NotOpened,         // missing, not a PDF, damaged, or a password the engine does not have
  NoSeal,            // the document holds no seal of the run's form
  RecordUnreadable,  // the latest seal's record cannot be read, so its owner is unknown
  OtherOwner,        // the latest seal's record does not name the key's serial
  NotDeleted,        // the engine could not take the latest seal out
  NotSaved,          // the engine's save failed (EngineCode)
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

  // kSealRemoved, kNothingRemoved, kDocumentOpenFailed, or the engine's save result.
  int Code() const;
  // For the debug trace: "the latest seal is another key's".
  std::string Reason() const;

 private:
  std::optional<RemovalFailure> failure_;
  int engineCode_ = 0;
};

}  // namespace sealrun::verify
