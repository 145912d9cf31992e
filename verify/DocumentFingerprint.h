#pragma once
// The document fingerprint: a 28-symbol text standing for the visible content of a PDF document that
// does not change when seal annotations or signature widgets are added. Seal annotations store it and
// verification compares it again.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "external/QpHandles.h"
#include "support/Sha1.h"

namespace sealrun::verify {

// A reference met at the top level is followed and its target written; below it the reference itself
// writes nothing.
enum class CosLevel { Top, Nested };

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

  // Feeds the canonical text of one object into the running digest. References met below the top level
  // write nothing themselves; their targets are queued and written by DigestFollowedReferences.
  void DigestCosValue(qp_cos value, CosLevel level);

  // Writes the targets queued by DigestCosValue (and whatever they reference in turn), each object once
  // per computation. Page trees, annotations, fields and signature values are not followed, so adding a
  // seal or a signature never reaches the digest through a reference.
  void DigestFollowedReferences();

  // The 28 FingerprintAlphabet symbols of everything fed since the last digest; the digest restarts.
  std::string TakeDigestText();

  // Bytes fed into the digest since construction (for throughput figures).
  std::uint64_t FedByteCount() const { return fedBytes_; }

 private:
  void Write(std::string_view bytes);
  void WriteBulk(const std::uint8_t* bytes, std::size_t length);
  void Flush();
  void WriteRawStream(qp_cos stream);
  void WriteString(qp_cos value);
  void WriteName(std::string_view name);
  void WriteReal(double value);
  void WriteDictionary(qp_cos dict);
  void WriteArray(qp_cos array);
  void QueueReference(external::CosHandle reference, std::string_view key);
  std::optional<std::u16string> PageIdentifierOf(qp_cos pageDict);
  void DigestContents(qp_cos pageDict);
  void DigestAnnotations(qp_page page);
  void DigestResources(qp_cos pageDict);

  qp_document document_ = nullptr;
  support::Sha1 sha1_;
  std::string pending_;  // small tokens gathered before they go to the digest
  std::unique_ptr<std::uint8_t[]> streamBuffer_;
  std::size_t streamCapacity_ = 0;
  std::vector<external::CosHandle> followQueue_;
  std::unordered_set<int> followed_;
  std::uint64_t fedBytes_ = 0;
  int nesting_ = 0;
  bool streamUnread_ = false;  // a stream's stored data could not be read since the computation began
};

}  // namespace sealrun::verify
