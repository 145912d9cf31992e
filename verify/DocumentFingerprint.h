#pragma once
// The document fingerprint: a 28-symbol text standing for the visible content of a PDF document that
// does not change when seal annotations or signature widgets are added. Seal annotations store it and
// verification compares it again. It is computed byte for byte by the system's rules from what the file
// writes (key order, string forms, real digits), so other systems that follow the rules agree with it.
#include <cstdint>
#include <optional>
#include <string>

#include "external/qp.h"
#include "verify/CanonicalWriter.h"
#include "verify/FingerprintDigest.h"
#include "verify/FingerprintLines.h"
#include "verify/ResourceTexts.h"

namespace sealrun::verify {

class WalkRules;

class DocumentFingerprint {
 public:
  DocumentFingerprint() = default;
  explicit DocumentFingerprint(qp_document document) : document_(document) {}
  DocumentFingerprint(const DocumentFingerprint&) = delete;
  DocumentFingerprint& operator=(const DocumentFingerprint&) = delete;

  // The engine document (borrowed; it must outlive the computation).
  void SetDocument(qp_document document) { document_ = document; }

  // The 28 FingerprintAlphabet symbols of the document. Pages without an identifier get one and are
  // marked modified (saving is the caller's decision). nullopt when a page or the stored data of a stream
  // cannot be read, or memory runs out: a fingerprint over part of a document must never pass for the whole.
  std::optional<std::u16string> ComputeDocumentFingerprint(qp_document document);
  std::optional<std::u16string> ComputeDocumentFingerprint() { return ComputeDocumentFingerprint(document_); }

  // The page's "ID" string, created from the MD5 of the page object's number when missing.
  std::optional<std::u16string> GetPageIdentifier(int pageIndex);

  // Feeds the canonical text of one object into the running digest: at the top level a reference is
  // followed, below it a reference writes nothing. False when the object cannot be read in full.
  bool DigestCosValue(qp_cos value, CosLevel level);

  // The 28 FingerprintAlphabet symbols of everything fed since the last digest; the digest restarts.
  std::string TakeDigestText() { return digest_.TakeDigestText(); }

  // The lines "identifier$page digest" CR LF of the last computation, in page order.
  const std::u16string& PageLines() const { return lines_.Text(); }
  // Objects the engine could not read from the file's bytes and gave as it keeps them (so their key order,
  // string forms or real digits may differ from the file's), since construction.
  int FallbackCount() const { return fallbacks_; }
  // Bytes fed into the digest since construction (for throughput figures).
  std::uint64_t FedByteCount() const { return digest_.FedByteCount(); }

 private:
  bool Walk(qp_cos object, WalkRules& rules);
  bool DigestContents(qp_cos pageDict);
  bool DigestAnnotations(qp_page page);
  bool DigestResources(qp_cos pageDict);

  qp_document document_ = nullptr;
  FingerprintDigest digest_;
  FingerprintLines lines_;
  ResourceTexts resourceTexts_;
  int fallbacks_ = 0;
};

}  // namespace sealrun::verify
