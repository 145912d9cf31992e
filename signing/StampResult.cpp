#include "signing/StampResult.h"

#include <cassert>

#include "external/qp.h"

namespace sealrun::signing {
namespace {

bool CarriesEngineCode(StampFailure failure) {
  switch (failure) {
    case StampFailure::EngineFailed:
    case StampFailure::NotSaved:
    case StampFailure::NotSigned:
    case StampFailure::NotMerged:
      return true;
    default:
      return false;
  }
}

std::string_view Words(StampFailure failure) {
  switch (failure) {
    case StampFailure::NotOpened: return "the document does not open";
    case StampFailure::PermissionDenied: return "permission denied";
    case StampFailure::BreaksCertification: return "a seal would break the document's certification";
    case StampFailure::NoPages: return "the document has no pages";
    case StampFailure::NoPlacement: return "no place for the seal";
    case StampFailure::PageUnreadable: return "the target page cannot be read";
    case StampFailure::NoFingerprint: return "the document fingerprint cannot be computed";
    case StampFailure::NoRecord: return "the seal names no record of the key";
    case StampFailure::NoImage: return "the seal picture does not decode";
    case StampFailure::EngineFailed: return "an engine call failed";
    case StampFailure::NotSaved: return "the engine could not save the document";
    case StampFailure::NotSigned: return "the engine could not sign and save with the signer certificate";
    case StampFailure::MessageNotSigned: return "the key's signer did not sign the seal's message";
    case StampFailure::NoSigningRequest: return "the engine never asked for the server's signature";
    case StampFailure::NoServerAnswer: return "no answer from the signing server";
    case StampFailure::ServerRefused: return "the signing server refused";
    case StampFailure::UnusableServerAnswer: return "the signing server's answer is unusable";
    case StampFailure::NoServerSignature: return "the signing server's answer carries no signature";
    case StampFailure::OnlineSigningFailed: return "the online signing stopped on an unexpected error";
    case StampFailure::NotMerged: return "the server's signature could not be merged";
    case StampFailure::SavedCopyUnreadable: return "the written copy does not open, the file is left as it was";
    case StampFailure::SavedSealInvalid:
      return "the new seal does not verify in the written copy, the file is left as it was";
  }
  return "unknown failure";
}

std::string_view Words(PlacementFailure failure) {
  switch (failure) {
    case PlacementFailure::None: return "placed";
    case PlacementFailure::NoTemplate: return "no pre-stamp chosen";
    case PlacementFailure::PageSettingInvalid: return "the page number is not valid";
    case PlacementFailure::PageBeyondLast: return "the keyword's page is beyond the last page";
    case PlacementFailure::KeywordNotFound: return "the keyword is not found";
    case PlacementFailure::TemplatePageBeyondLast: return "the pre-stamp's page is beyond the last page";
    case PlacementFailure::EngineFailure: return "the engine failed while placing the seal";
  }
  return "not placed";
}

}  // namespace

StampResult::StampResult(StampFailure failure, int engineCode) : failure_(failure) {
  if (CarriesEngineCode(failure)) engineCode_ = engineCode != QP_OK ? engineCode : QP_ERR_ENGINE;
}

StampResult StampResult::Denied(Permission permission) {
  StampResult result(StampFailure::PermissionDenied);
  result.permission_ = permission;
  return result;
}

StampResult StampResult::NotPlaced(PlacementFailure why) {
  StampResult result(StampFailure::NoPlacement);
  result.placement_ = why;
  return result;
}

StampResult StampResult::Certified(verify::CertificationLevel level) {
  StampResult result(StampFailure::BreaksCertification);
  result.certification_ = level;
  return result;
}

StampFailure StampResult::Failure() const {
  assert(!Ok());
  return *failure_;
}

std::optional<Permission> StampResult::DeniedPermission() const { return permission_; }

int StampResult::Code() const {
  if (Ok()) return 0;
  switch (*failure_) {
    case StampFailure::NotOpened:
    case StampFailure::PermissionDenied:
    case StampFailure::BreaksCertification:
    case StampFailure::NoPages:
    case StampFailure::NoPlacement:
    case StampFailure::PageUnreadable:
      return kStampOpenFailed;
    case StampFailure::NoFingerprint:
      return QP_ERR_ENGINE;
    case StampFailure::NoRecord:
      return kStampNoRecord;
    case StampFailure::NoImage:
      return kStampNoImage;
    case StampFailure::MessageNotSigned:
      return QP_ERR_ENGINE;
    case StampFailure::EngineFailed:
    case StampFailure::NotSaved:
    case StampFailure::NotSigned:
    case StampFailure::NotMerged:
      return engineCode_;
    case StampFailure::NoSigningRequest:
      return kOnlineNoContext;
    case StampFailure::NoServerSignature:
      return kOnlineEmptySignature;
    case StampFailure::NoServerAnswer:
    case StampFailure::ServerRefused:
    case StampFailure::UnusableServerAnswer:
    case StampFailure::OnlineSigningFailed:
      return kOnlineRefused;
    case StampFailure::SavedCopyUnreadable:
      return QP_ERR_SAVE;
    case StampFailure::SavedSealInvalid:
      return QP_ERR_VERIFY;
  }
  return QP_ERR_ENGINE;
}

std::string StampResult::Reason() const {
  if (Ok()) return "sealed";
  if (permission_) return "permission to " + std::string(PermissionName(*permission_)) + " denied";
  if (placement_) return "no place for the seal: " + std::string(Words(*placement_));
  if (certification_)
    return "the document is " + std::string(verify::CertificationText(*certification_)) +
           ": a seal would break its certification";
  std::string reason(Words(*failure_));
  if (engineCode_ != 0) reason += " (engine result " + std::to_string(engineCode_) + ")";
  return reason;
}

}  // namespace sealrun::signing
