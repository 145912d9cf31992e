#pragma once
// Whether a document is certified, and whether a seal of one form can be added without breaking the
// certification. A certified document states which later changes keep it certified: none; form filling and
// signatures; or those and annotations. A signature field is a signature; a seal annotation is an annotation.
#include <string_view>

#include "config/SignatureMode.h"
#include "external/qp.h"

namespace sealrun::verify {

enum class CertificationLevel {
  None,                                 // not certified
  NoChanges,                            // DocMDP /P 1
  FormFillingAndSigning,                // DocMDP /P 2
  FormFillingSigningAndAnnotating,      // DocMDP /P 3
  Unreadable,                           // the engine could not read it: nothing may be assumed
};

CertificationLevel DocumentCertification(qp_document document);

// True when a seal of the form keeps the certification (always, for a document that is not certified).
bool CertificationAllows(CertificationLevel level, config::SealForm form);

// For inspect and the traces: "not certified", "certified: no changes allowed", ...
std::string_view CertificationText(CertificationLevel level);

}  // namespace sealrun::verify
