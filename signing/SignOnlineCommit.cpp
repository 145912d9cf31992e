#include "signing/SignOnline.h"

namespace sealrun::signing {

StampResult SignOnlineAndCommit(const OnlineSigner& signer, qp_document document, qp_signature signature) {
  if (!signer) return StampFailure::NoSigningRequest;
  if (const int staged = qp_document_set_staged(document, 1); staged != QP_OK) return {StampFailure::EngineFailed, staged};
  StampResult result = signer(signature);
  if (!result) return result;
  if (const int committed = qp_document_commit(document); committed != QP_OK) return {StampFailure::NotSaved, committed};
  return result;
}

}  // namespace sealrun::signing
