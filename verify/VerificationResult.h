#pragma once
// One file of a verification run: the document did not open, or it holds so many valid and invalid seals.
// The remark text and the number the run's callers know both come from it.
#include <string>

#include "verify/RowOutcome.h"

namespace sealrun::verify {

inline constexpr char16_t kOpenFailedText[] = u"文档打开失败";
inline constexpr int kDocumentOpenFailed = -1;

// "印章总数:T 有效:V 失效:I".
std::u16string VerificationResultText(int valid, int invalid);

class VerificationResult {
 public:
  static VerificationResult NotOpened() { return VerificationResult(false, 0, 0); }
  // Opened, but a page could not be read: failed as a document that does not open, with its own reason.
  static VerificationResult NotReadInFull() {
    VerificationResult result(false, 0, 0);
    result.partly_ = true;
    return result;
  }
  static VerificationResult Examined(int valid, int invalid) { return VerificationResult(true, valid, invalid); }

  bool Opened() const { return opened_; }
  int Valid() const { return valid_; }
  int Invalid() const { return invalid_; }
  // A file with an invalid seal, or that does not open, fails the run; only the former's row is highlighted.
  bool Failed() const { return !opened_ || invalid_ > 0; }
  Highlight RowHighlight() const { return opened_ ? Highlight::Yes : Highlight::No; }

  // The number of invalid seals, or kDocumentOpenFailed.
  int Code() const { return opened_ ? invalid_ : kDocumentOpenFailed; }
  // The row's remark: the counts, or "文档打开失败".
  std::u16string Text() const;
  // For the debug trace: "does not open" or "1 of 2 seals invalid".
  std::string Reason() const;

 private:
  VerificationResult(bool opened, int valid, int invalid) : opened_(opened), valid_(valid), invalid_(invalid) {}
  bool opened_;
  bool partly_ = false;
  int valid_;
  int invalid_;
};

}  // namespace sealrun::verify
