#include "verify/RemovalResult.h"

#include <cassert>

#include "external/qp.h"

namespace sealrun::verify {

RemovalResult::RemovalResult(RemovalFailure failure, int engineCode) : failure_(failure) {
  if (failure == RemovalFailure::NotSaved) engineCode_ = engineCode != QP_OK ? engineCode : QP_ERR_ENGINE;
}

RemovalFailure RemovalResult::Failure() const {
  assert(!Removed());
  return *failure_;
}

Highlight RemovalResult::RowHighlight() const {
  return failure_ == RemovalFailure::NotOpened ? Highlight::No : Highlight::Yes;
}

int RemovalResult::Code() const {
  if (Removed()) return kSealRemoved;
  switch (*failure_) {
    case RemovalFailure::NotOpened:
      return kDocumentOpenFailed;
    case RemovalFailure::NotSaved:
      return engineCode_;
    case RemovalFailure::CopyUnreadable:
    case RemovalFailure::CopyNotOneUpdate:
      return QP_ERR_SAVE;
    case RemovalFailure::CopySealStillThere:
    case RemovalFailure::CopyEarlierSealLost:
      return QP_ERR_VERIFY;
    case RemovalFailure::NoSeal:
    case RemovalFailure::RecordUnreadable:
    case RemovalFailure::OtherOwner:
    case RemovalFailure::OtherCertificate:
    case RemovalFailure::MakerUnknown:
    case RemovalFailure::NotDeleted:
      return kNothingRemoved;
  }
  return kNothingRemoved;
}

std::string RemovalResult::Reason() const {
  if (Removed()) return "removed";
  switch (*failure_) {
    case RemovalFailure::NotOpened: return "the document does not open";
    case RemovalFailure::NoSeal: return "no seal to remove";
    case RemovalFailure::RecordUnreadable: return "the latest seal's record cannot be read";
    case RemovalFailure::OtherOwner: return "the latest seal is another key's";
    case RemovalFailure::OtherCertificate:
      return "the latest seal names the key but was made with another certificate than the key's";
    case RemovalFailure::MakerUnknown:
      return "the latest seal's signed message or signature does not verify, so who made it is unknown";
    case RemovalFailure::NotDeleted: return "the engine could not take the latest seal out";
    case RemovalFailure::NotSaved:
      return "the engine could not save the document (engine result " + std::to_string(engineCode_) + ")";
    case RemovalFailure::CopyUnreadable: return "the written copy does not open, the file is left as it was";
    case RemovalFailure::CopyNotOneUpdate:
      return "the written copy is not the file with one appended update, the file is left as it was";
    case RemovalFailure::CopySealStillThere:
      return "the latest seal is still in the written copy, the file is left as it was";
    case RemovalFailure::CopyEarlierSealLost:
      return "a seal valid in the file is not valid in the written copy, the file is left as it was";
  }
  return "not removed";
}

std::optional<std::u16string> RemovalResult::Remark() const {
  if (Removed()) return std::nullopt;
  switch (*failure_) {
    case RemovalFailure::OtherOwner:
    case RemovalFailure::OtherCertificate:
      return std::u16string(kNotTheKeysSealText);
    case RemovalFailure::MakerUnknown:
      return std::u16string(kMakerUnknownText);
    default:
      return std::nullopt;
  }
}

}  // namespace sealrun::verify
