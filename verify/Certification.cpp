#include "verify/Certification.h"

namespace sealrun::verify {

CertificationLevel DocumentCertification(qp_document document) {
  switch (qp_document_certification_level(document)) {
    case 0: return CertificationLevel::None;
    case 1: return CertificationLevel::NoChanges;
    case 2: return CertificationLevel::FormFillingAndSigning;
    case 3: return CertificationLevel::FormFillingSigningAndAnnotating;
    default: return CertificationLevel::Unreadable;
  }
}

bool CertificationAllows(CertificationLevel level, config::SealForm form) {
  switch (level) {
    case CertificationLevel::None:
    case CertificationLevel::FormFillingSigningAndAnnotating:
      return true;
    case CertificationLevel::FormFillingAndSigning:
      return form == config::SealForm::SignatureField;
    case CertificationLevel::NoChanges:
    case CertificationLevel::Unreadable:
      return false;
  }
  return false;
}

std::string_view CertificationText(CertificationLevel level) {
  switch (level) {
    case CertificationLevel::None: return "not certified";
    case CertificationLevel::NoChanges: return "certified: no changes allowed";
    case CertificationLevel::FormFillingAndSigning: return "certified: form filling and signing allowed";
    case CertificationLevel::FormFillingSigningAndAnnotating:
      return "certified: form filling, signing and annotations allowed";
    case CertificationLevel::Unreadable: return "certification cannot be read";
  }
  return "certification cannot be read";
}

}  // namespace sealrun::verify
