// Digital signatures: MuPDF writes the signature dictionary and the byte ranges in one incremental
// save; the CMS comes from platform/crypto (engine-made) or from the caller's callback (deferred,
// merged later into the reserved room).
#include <atomic>
#include <cstring>
#include <ctime>
#include <fstream>

#include "platform/crypto/Certificate.h"
#include "platform/crypto/Cms.h"
#include "platform/crypto/KeyStore.h"
#include "platform/crypto/TimestampToken.h"
#include "platform/pdfengine/AtomicFile.h"
#include "platform/text/Utf.h"
#include "platform/pdfengine/Internal.h"
#include "platform/pdfengine/SignatureFile.h"

namespace crypto = sealrun::platform::crypto;
using namespace sealrun::platform::pdfengine;

namespace {

constexpr std::size_t kDefaultRoom = 8192;
constexpr std::size_t kMaxRoom = 65536;

// A pdf_pkcs7_signer of ours. MuPDF holds it by reference count until the save completes.
struct Signer {
  pdf_pkcs7_signer base;  // first: MuPDF sees only this
  std::atomic<int> refs{1};
  std::size_t room = kDefaultRoom;
  pdf_obj* field = nullptr;  // borrowed; the document outlives the save
  // Engine-made: the certificate and its key.
  std::optional<crypto::Certificate> certificate;
  std::optional<crypto::PrivateKey> key;
  // Deferred: the caller's callback; cleared when the save call returns.
  const qp_sign_callback_desc* descriptor = nullptr;
  std::string response;
  bool failed = false;
};

Signer* Of(pdf_pkcs7_signer* base) { return reinterpret_cast<Signer*>(base); }

pdf_pkcs7_signer* KeepSigner(fz_context*, pdf_pkcs7_signer* base) {
  ++Of(base)->refs;
  return base;
}

void DropSigner(fz_context*, pdf_pkcs7_signer* base) {
  if (base != nullptr && --Of(base)->refs == 0) delete Of(base);  // NOLINT: owned by its reference count
}

pdf_pkcs7_distinguished_name* NoSigningName(fz_context*, pdf_pkcs7_signer*) { return nullptr; }

size_t Room(fz_context*, pdf_pkcs7_signer* base) { return Of(base)->room; }

// Reads the signed byte ranges from MuPDF's stream; split again by the dictionary's /ByteRange.
bool ReadRanges(fz_context* ctx, Signer& signer, fz_stream* in, std::string& data, std::vector<std::size_t>& lengths) {
  try {
    fz_buffer* all = Mu(ctx, [&] { return fz_read_all(ctx, in, 1 << 16); });
    unsigned char* bytes = nullptr;
    const std::size_t size = fz_buffer_storage(ctx, all, &bytes);
    data.assign(reinterpret_cast<const char*>(bytes), size);
    fz_drop_buffer(ctx, all);
    pdf_obj* range = Mu(ctx, [&] { return pdf_dict_getl(ctx, signer.field, PDF_NAME(V), PDF_NAME(ByteRange), nullptr); });
    const int count = Mu(ctx, [&] { return pdf_array_len(ctx, range); }) / 2;
    std::size_t total = 0;
    for (int i = 0; i < count; ++i) {
      const auto length = static_cast<std::size_t>(Mu(ctx, [&] { return pdf_array_get_int(ctx, range, 2 * i + 1); }));
      lengths.push_back(length);
      total += length;
    }
    if (total != data.size()) {
      lengths.assign(1, data.size());
    }
    return true;
  } catch (...) {
    return false;
  }
}

int CreateDigest(fz_context* ctx, pdf_pkcs7_signer* base, fz_stream* in, unsigned char* digest, size_t digestLength) {
  Signer& signer = *Of(base);
  try {
    std::string data;
    std::vector<std::size_t> lengths;
    // Any return of 0 makes MuPDF abandon the save; the caller learns it was the signing that failed.
    signer.failed = true;
    if (!ReadRanges(ctx, signer, in, data, lengths)) return 0;
    std::string signature;
    if (signer.certificate) {
      const crypto::ByteView whole = crypto::AsBytes(data);
      std::vector<crypto::ByteView> ranges;
      std::size_t offset = 0;
      for (std::size_t length : lengths) {
        ranges.push_back(whole.subspan(offset, length));
        offset += length;
      }
      crypto::CmsSignOptions options;
      options.digest = crypto::DigestAlgorithm::Sha256;
      auto cms = crypto::CmsSign(*signer.certificate, *signer.key, ranges, options);
      if (!cms) {
        TraceFailure("sign", cms.GetError().message.c_str());
        return 0;
      }
      signature.assign(cms->begin(), cms->end());
    } else {
      if (signer.descriptor == nullptr || signer.descriptor->callback == nullptr) return 0;
      std::vector<const unsigned char*> pointers;
      std::size_t offset = 0;
      for (std::size_t length : lengths) {
        pointers.push_back(reinterpret_cast<const unsigned char*>(data.data()) + offset);
        offset += length;
      }
      qp_sign_request request{};
      request.context = signer.descriptor->context;
      request.phase = QP_SIGN_PHASE_SIGN;
      request.rangeCount = static_cast<int>(lengths.size());
      request.rangeData = pointers.data();
      request.rangeLengths = lengths.data();
      request.size = signer.room;
      request.engine = &signer;
      signer.response.clear();
      if (signer.descriptor->callback(&request) != 0) return 0;
      signature = signer.response;
    }
    if (signature.empty() || signature.size() > digestLength) return 0;
    std::memcpy(digest, signature.data(), signature.size());
    signer.failed = false;
    return static_cast<int>(signature.size());
  } catch (...) {
    return 0;
  }
}

Signer* NewSigner(std::size_t room, pdf_obj* field) {
  auto signer = std::make_unique<Signer>();
  signer->base.keep = KeepSigner;
  signer->base.drop = DropSigner;
  signer->base.get_signing_name = NoSigningName;
  signer->base.max_digest_size = Room;
  signer->base.create_digest = CreateDigest;
  signer->room = room;
  signer->field = field;
  return signer.release();
}

// Our reference to a signer for the length of one call.
struct SignerRef {
  Signer* signer;
  ~SignerRef() {
    signer->descriptor = nullptr;
    DropSigner(nullptr, &signer->base);
  }
};

// Puts the signature value into the field and saves the document.
int SignAndSave(qp_signature signature, Signer* signer, const char* reason, const char* location) {
  qp_document document = signature->document;
  fz_context* ctx = document->ctx;
  pdf_obj* field = signer->field;
  if (Mu(ctx, [&] { return pdf_dict_get(ctx, field, PDF_NAME(V)) != nullptr; })) Fail(QP_ERR_ARGUMENT, "already signed");
  const std::string name = signature->name;
  pdf_document* doc = document->doc;
  Mu(ctx, [&] {
    pdf_signature_set_value(ctx, doc, field, &signer->base, static_cast<int64_t>(std::time(nullptr)));
    // MuPDF starts a new update for any change made after a signature is pending, which would
    // write the signature dictionary twice. The name, reason and location belong to the same
    // update: hide the pending signature while they are put in. They follow /ByteRange, /Contents
    // and /Filter, which MuPDF finds in that order when it completes the signature.
    pdf_xref* section = &doc->xref_sections[0];
    pdf_unsaved_sig* pending = section->unsaved_sigs;
    pdf_unsaved_sig** pendingEnd = section->unsaved_sigs_end;
    section->unsaved_sigs = nullptr;
    section->unsaved_sigs_end = nullptr;
    fz_try(ctx) {
      pdf_obj* v = pdf_dict_get(ctx, field, PDF_NAME(V));
      if (!name.empty()) pdf_dict_put_text_string(ctx, v, PDF_NAME(Name), name.c_str());
      if (reason != nullptr && *reason != 0) pdf_dict_put_text_string(ctx, v, PDF_NAME(Reason), reason);
      if (location != nullptr && *location != 0) pdf_dict_put_text_string(ctx, v, PDF_NAME(Location), location);
    }
    fz_always(ctx) {
      section = &doc->xref_sections[0];
      section->unsaved_sigs = pending;
      section->unsaved_sigs_end = pendingEnd;
    }
    fz_catch(ctx) fz_rethrow(ctx);
  });
  const int saved = qp_document_save(document);
  return saved == QP_OK ? QP_OK : saved == QP_ERR_SAVE && signer->failed ? QP_ERR_SIGN : saved;
}

// A document timestamp (/SubFilter /ETSI.RFC3161, the /Type /DocTimeStamp signature) carries an RFC 3161
// token in its /Contents.
bool IsDocumentTimestamp(qp_signature signature) {
  pdf_obj* field = SignatureField(signature);
  fz_context* ctx = signature->document->ctx;
  const char* subFilter =
      Mu(ctx, [&] { return pdf_to_name(ctx, pdf_dict_getl(ctx, field, PDF_NAME(V), PDF_NAME(SubFilter), nullptr)); });
  return std::strcmp(subFilter, "ETSI.RFC3161") == 0;
}

}  // namespace

extern "C" int qp_signature_get_obj_num(qp_signature signature) {
  return Guard<int>(__func__, 0, [&] {
    pdf_obj* field = SignatureField(signature);
    fz_context* ctx = signature->document->ctx;
    return Mu(ctx, [&] { return pdf_to_num(ctx, pdf_dict_get(ctx, field, PDF_NAME(V))); });
  });
}

extern "C" int qp_signature_set_name(qp_signature signature, qp_string name) {
  return GuardCode(__func__, [&] {
    if (signature == nullptr || name == nullptr) Fail(QP_ERR_ARGUMENT, "no name");
    signature->name = sealrun::platform::text::Utf16ToUtf8(name->text);
    return QP_OK;
  });
}

extern "C" int qp_signature_get_name(qp_signature signature, qp_string name) {
  return GuardCode(__func__, [&] {
    if (signature == nullptr || name == nullptr) Fail(QP_ERR_ARGUMENT, "no name");
    pdf_obj* field = SignatureField(signature);
    fz_context* ctx = signature->document->ctx;
    const char* text = Mu(ctx, [&] {
      return pdf_to_text_string(ctx, pdf_dict_getl(ctx, field, PDF_NAME(V), PDF_NAME(Name), nullptr));
    });
    // Back to UTF-16 from MuPDF's UTF-8.
    name->text = sealrun::platform::text::Utf8ToUtf16(text);
    return QP_OK;
  });
}

extern "C" int qp_signature_get_byte_range(qp_signature signature, int64_t range[4]) {
  return GuardCode(__func__, [&] {
    if (range == nullptr) Fail(QP_ERR_ARGUMENT, "no range");
    pdf_obj* field = SignatureField(signature);
    fz_context* ctx = signature->document->ctx;
    pdf_obj* br = Mu(ctx, [&] { return pdf_dict_getl(ctx, field, PDF_NAME(V), PDF_NAME(ByteRange), nullptr); });
    if (Mu(ctx, [&] { return pdf_array_len(ctx, br); }) != 4) return static_cast<int>(QP_ERR_NOT_FOUND);
    for (int i = 0; i < 4; ++i) range[i] = Mu(ctx, [&] { return pdf_array_get_int(ctx, br, i); });
    return QP_OK;
  });
}

extern "C" int qp_signature_save(qp_signature signature, const char* reason, const char* password,
                                 const void* certificate, int certificateLength) {
  (void)password;  // the key store holds the key already unlocked by its PKCS#12 password
  return GuardCode(__func__, [&] {
    if (signature == nullptr || certificate == nullptr || certificateLength <= 0) Fail(QP_ERR_ARGUMENT, "no certificate");
    auto parsed = crypto::Certificate::FromBytes(crypto::AsBytes(certificate, static_cast<std::size_t>(certificateLength)));
    if (!parsed) Fail(QP_ERR_ARGUMENT, "the certificate does not parse");
    auto key = crypto::KeyStore::Instance().FindPrivateKey(*parsed);
    if (!key) Fail(QP_ERR_SIGN, "no private key for the certificate");
    pdf_obj* field = SignatureField(signature);
    // Room for the DER SignedData: the certificate, a signature of up to 8192-bit RSA and attributes.
    const std::size_t room = parsed->Der().size() + 4096;
    SignerRef ref{NewSigner(room, field)};
    ref.signer->certificate = *parsed;
    ref.signer->key = *key;
    return SignAndSave(signature, ref.signer, reason, nullptr);
  });
}

extern "C" int qp_signature_save_pkcs1(qp_signature signature, const char* reason, const char* location,
                                       const qp_sign_callback_desc* descriptor) {
  return GuardCode(__func__, [&] {
    if (signature == nullptr || descriptor == nullptr || descriptor->callback == nullptr) Fail(QP_ERR_ARGUMENT, "no callback");
    pdf_obj* field = SignatureField(signature);
    qp_sign_request sizing{};
    sizing.context = descriptor->context;
    sizing.phase = QP_SIGN_PHASE_SIZE;
    if (descriptor->callback(&sizing) != 0) Fail(QP_ERR_SIGN, "the callback refused to size the signature");
    const std::size_t room = sizing.size == 0 ? kDefaultRoom : sizing.size;
    if (room > kMaxRoom) Fail(QP_ERR_ARGUMENT, "the room asked for is too large");
    SignerRef ref{NewSigner(room, field)};
    ref.signer->descriptor = descriptor;
    return SignAndSave(signature, ref.signer, reason, location);
  });
}

extern "C" int qp_signature_set_signed_response(qp_sign_request* request, const void* bytes, int length) {
  return GuardCode(__func__, [&] {
    if (request == nullptr || request->engine == nullptr || request->phase != QP_SIGN_PHASE_SIGN || length <= 0 ||
        bytes == nullptr)
      Fail(QP_ERR_ARGUMENT, "no signing request");
    auto* signer = static_cast<Signer*>(request->engine);
    if (static_cast<std::size_t>(length) > signer->room) Fail(QP_ERR_NO_ROOM, "the response does not fit");
    signer->response.assign(static_cast<const char*>(bytes), static_cast<std::size_t>(length));
    return QP_OK;
  });
}

extern "C" int qp_signature_merge_signature(qp_signature signature, const void* cms, int length) {
  return GuardCode(__func__, [&] {
    if (signature == nullptr || cms == nullptr || length <= 0) Fail(QP_ERR_ARGUMENT, "no signature data");
    qp_document document = signature->document;
    int64_t range[4];
    if (qp_signature_get_byte_range(signature, range) != QP_OK) Fail(QP_ERR_NOT_FOUND, "not saved with a signature");
    if (!IsWritable(document->path)) Fail(QP_ERR_SAVE, "the file is read-only");
    std::string file;
    if (!ReadWholeFile(document->readPath, file)) Fail(QP_ERR_SAVE, "the file cannot be read");
    const SignedRevision revision = CheckByteRange(file, range);
    if (!revision.holeIsContents) Fail(QP_ERR_VERIFY, "the byte range does not frame the contents");
    const std::size_t room = (revision.holeEnd - revision.holeStart - 2) / 2;
    if (static_cast<std::size_t>(length) > room) return static_cast<int>(QP_ERR_NO_ROOM);
    static const char kHex[] = "0123456789abcdef";
    const auto* bytes = static_cast<const unsigned char*>(cms);
    std::size_t at = revision.holeStart + 1;
    for (std::size_t i = 0; i < room; ++i) {
      const unsigned char b = i < static_cast<std::size_t>(length) ? bytes[i] : 0;
      file[at++] = kHex[b >> 4];
      file[at++] = kHex[b & 15];
    }
    auto copy = std::make_unique<CopyBeside>(document->path);
    if (!WriteWholeFile(copy->Path(), file)) Fail(QP_ERR_SAVE, "the signed file could not be written");
    PutCopyInPlace(document, std::move(copy));
    return QP_OK;
  });
}

extern "C" int qp_signature_is_document_timestamp(qp_signature signature) {
  return Guard<int>(__func__, -1, [&] { return IsDocumentTimestamp(signature) ? 1 : 0; });
}

extern "C" int qp_signature_verify(qp_signature signature, qp_certificate* certificate) {
  return GuardCode(__func__, [&] {
    if (certificate != nullptr) *certificate = nullptr;
    if (signature == nullptr) Fail(QP_ERR_ARGUMENT, "no signature");
    int64_t range[4];
    if (qp_signature_get_byte_range(signature, range) != QP_OK) return static_cast<int>(QP_ERR_VERIFY);
    std::string storage;
    const std::string_view file = DocumentFileBytes(signature->document, storage);
    const SignedRevision revision = CheckByteRange(file, range);
    if (!revision.holeIsContents) return static_cast<int>(QP_ERR_VERIFY);
    const std::string der = ContentsBytes(file, revision);
    const crypto::ByteView whole = crypto::AsBytes(file);
    const std::size_t derLength = crypto::DerElementLength(crypto::AsBytes(der));
    const crypto::ByteView contents = crypto::AsBytes(der).first(derLength == 0 ? der.size() : derLength);
    const crypto::ByteView ranges[] = {whole.subspan(0, revision.holeStart),
                                       whole.subspan(revision.holeEnd, revision.end - revision.holeEnd)};
    // A document timestamp's contents are a time-stamp token over the ranges, not a signature of them.
    std::optional<crypto::Certificate> signer;
    bool valid = false;
    if (IsDocumentTimestamp(signature)) {
      const crypto::TimestampVerifyResult result = crypto::VerifyTimestampToken(contents, ranges);
      if (!result.Valid()) TraceFailure(__func__, result.problem.c_str());
      signer = result.signer;
      valid = result.Valid();
    } else {
      const crypto::CmsVerifyResult result = crypto::CmsVerify(contents, ranges);
      signer = result.signer;
      valid = result.Valid();
    }
    if (certificate != nullptr && signer) {
      auto held = std::make_unique<qp_certificate_s>();
      const crypto::Bytes bytes = signer->Der();
      held->der.assign(bytes.begin(), bytes.end());
      *certificate = held.release();
    }
    if (!revision.coversRevision) return static_cast<int>(QP_ERR_VERIFY);
    return valid ? QP_OK : static_cast<int>(QP_ERR_VERIFY);
  });
}

extern "C" int qp_signature_verify_page_contents(qp_signature signature, int* changed) {
  return GuardCode(__func__, [&] {
    if (signature == nullptr || changed == nullptr) Fail(QP_ERR_ARGUMENT, "no signature");
    *changed = 1;
    int64_t range[4];
    if (qp_signature_get_byte_range(signature, range) != QP_OK) return static_cast<int>(QP_ERR_VERIFY);
    std::string storage;
    const std::string_view file = DocumentFileBytes(signature->document, storage);
    const SignedRevision revision = CheckByteRange(file, range);
    if (!revision.coversRevision) return static_cast<int>(QP_ERR_VERIFY);
    *changed = PagesChangedSince(signature->document, std::string(file.substr(0, revision.end))) ? 1 : 0;
    return QP_OK;
  });
}
