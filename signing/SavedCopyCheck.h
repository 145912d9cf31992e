#pragma once
// The last step before a sealed copy replaces the original: the copy opens on its own, as every reader will
// open it, and the seal just added verifies in it. A seal that would be reported sealed while verification calls
// it invalid (a file whose stream lengths lie, a writer fault) fails its file instead, and the file stays as it
// was.
#include "config/SignatureMode.h"
#include "external/qp.h"
#include "signing/StampResult.h"

namespace sealrun::signing {

// `document` has staged saves (qp_document_set_staged) and its copy written; `sealObject` is the new seal's
// annotation (seal annotations) or signature dictionary (signature fields). Commits the copy when the seal
// verifies in it; otherwise the copy stays uncommitted (closing the document removes it).
StampResult CheckAndCommitSavedCopy(qp_engine engine, qp_document document, config::SealForm form, int sealObject);

}  // namespace sealrun::signing
