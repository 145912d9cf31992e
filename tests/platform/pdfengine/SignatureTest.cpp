// Signature fields and digital signatures, cross-checked with poppler's pdfsig and qpdf.
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "platform/crypto/Certificate.h"
#include "platform/crypto/Cms.h"
#include "platform/crypto/KeyStore.h"
#include "tests/platform/pdfengine/EngineFixture.h"
#include "tests/testsupport/TestCertificates.h"

namespace sealrun::platform::pdfengine::testing {
namespace {

namespace crypto = sealrun::platform::crypto;
using sealrun::testing::ReadFileBytes;
using sealrun::testing::WriteFileBytes;

class SignatureTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    const auto& identity = sealrun::testing::SharedTestIdentity();
    auto imported = crypto::KeyStore::Instance().ImportPkcs12(identity.pkcs12, identity.password);
    ASSERT_TRUE(imported.Ok());
    certificate_ = identity.certificateDer;
  }

  // Adds "Signature<n+1>" with an image appearance and private data to page 0; returns the
  // signature object (the document stays open in `document`).
  SignatureHandle AddSignatureField(qp_document document, const std::string& privateData) {
    const int existing = qp_acroform_signature_count(document);
    EXPECT_GE(existing, 0);
    PageHandle page = LoadPage(document, 0);
    qp_field field = qp_acroform_create_form_field(document, QP_FIELD_SIGNATURE);
    EXPECT_NE(field, nullptr);
    qp_string name = qp_string_create();
    const std::u16string text = u"Signature" + std::u16string(1, static_cast<char16_t>(u'1' + existing));
    EXPECT_EQ(qp_string_append_ucs(name, reinterpret_cast<const uint16_t*>(text.c_str()), -1), QP_OK);
    EXPECT_EQ(qp_field_set_name(field, name), QP_OK);
    qp_string_delete(name);
    SignatureHandle signature(qp_field_create_signature(field));
    EXPECT_TRUE(signature);
    qp_annot widget = qp_page_add_form_field(page.get(), field);
    EXPECT_NE(widget, nullptr);
    EXPECT_EQ(qp_annot_set_rect(widget, 300, 100, 400, 160), QP_OK);
    EXPECT_EQ(qp_annot_set_rotate(widget, 0), QP_OK);
    EXPECT_EQ(qp_annot_set_blendmode(widget, "Multiply"), QP_OK);
    ImageHandle image = TwoToneImage(document, 20, 20);
    EXPECT_EQ(qp_annot_set_image_appearance_from_handle(widget, image.get()), QP_OK);
    EXPECT_EQ(qp_annot_set_signature_field_appearance(widget, image.get(), 0), QP_OK);
    EXPECT_EQ(qp_annot_update(widget), QP_OK);
    EXPECT_EQ(qp_field_set_private_data(field, "QPX", privateData.data(), static_cast<int>(privateData.size())), QP_OK);
    return signature;
  }

  int EngineSign(const std::filesystem::path& path, const std::string& privateData = "record") {
    DocumentHandle document = Open(path);
    if (!document) return -1;
    SignatureHandle signature = AddSignatureField(document.get(), privateData);
    qp_string name = qp_string_create();
    qp_string_append_ucs(name, reinterpret_cast<const uint16_t*>(u"Sealrun Test Signer"), -1);
    qp_signature_set_name(signature.get(), name);
    qp_string_delete(name);
    const int result = qp_signature_save(signature.get(), "", "123456", certificate_.data(),
                                         static_cast<int>(certificate_.size()));
    EXPECT_EQ(qp_document_update_page(document.get(), 0, 0), QP_OK);
    return result;
  }

  // Every signature of the file as pdfsig judges it.
  static std::string Pdfsig(const std::filesystem::path& path) { return RunTool("pdfsig -nocert " + Quote(path)).output; }
  static int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }

  // Verifies every signed field of the file with the engine: (verify result, page-content change).
  std::vector<std::pair<int, int>> VerifyAll(const std::filesystem::path& path) {
    std::vector<std::pair<int, int>> results;
    DocumentHandle document = Open(path);
    if (!document) return results;
    for (qp_field field = qp_load_acroform_field(document.get()); field != nullptr; field = qp_field_next(field)) {
      SignatureHandle signature(qp_field_get_signature(field));
      if (!signature) continue;
      qp_certificate certificate = nullptr;
      const int verified = qp_signature_verify(signature.get(), &certificate);
      qp_certificate_free(certificate);
      int changed = -1;
      const int checked = qp_signature_verify_page_contents(signature.get(), &changed);
      results.emplace_back(verified, checked == QP_OK ? changed : -checked);
    }
    return results;
  }

  std::vector<std::uint8_t> certificate_;
};

TEST_F(SignatureTest, EngineMadeSignatureIsValidForPdfsigAndTheEngine) {
  const auto path = CopyCorpus("pypdf-crazyones.pdf");
  ASSERT_EQ(EngineSign(path, "U0VBTFJFQ09SRA=="), QP_OK);
  const std::string judged = Pdfsig(path);
  EXPECT_EQ(Count(judged, "Signature is Valid"), 1) << judged;
  EXPECT_NE(judged.find("adbe.pkcs7.detached"), std::string::npos);
  EXPECT_EQ(RunTool("qpdf --check " + Quote(path)).exitCode, 0);

  DocumentHandle document = Open(path);
  EXPECT_EQ(qp_acroform_signature_count(document.get()), 1);
  qp_field field = qp_load_acroform_field(document.get());
  ASSERT_NE(field, nullptr);
  EXPECT_EQ(qp_field_get_page_num(field), 0);
  char buffer[1024] = {};
  int length = sizeof buffer;
  ASSERT_EQ(qp_field_get_private_data(field, "QPX", buffer, &length), QP_OK);
  EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(length)), "U0VBTFJFQ09SRA==");
  int small = 3;
  EXPECT_EQ(qp_field_get_private_data(field, "QPX", buffer, &small), QP_ERR_BUFFER);
  EXPECT_EQ(small, length);
  EXPECT_EQ(qp_field_get_private_data(field, "Absent", buffer, &small), QP_ERR_NOT_FOUND);
  SignatureHandle signature(qp_field_get_signature(field));
  ASSERT_TRUE(signature);
  EXPECT_GT(qp_signature_get_obj_num(signature.get()), 0);
  qp_certificate signer = nullptr;
  ASSERT_EQ(qp_signature_verify(signature.get(), &signer), QP_OK);
  size_t derLength = 0;
  ASSERT_EQ(qp_certificate_get_der(signer, nullptr, &derLength), QP_OK);
  std::vector<std::uint8_t> der(derLength);
  ASSERT_EQ(qp_certificate_get_der(signer, der.data(), &derLength), QP_OK);
  EXPECT_EQ(der, certificate_);
  qp_certificate_free(signer);
  int changed = -1;
  EXPECT_EQ(qp_signature_verify_page_contents(signature.get(), &changed), QP_OK);
  EXPECT_EQ(changed, 0);
  qp_string name = qp_string_create();
  ASSERT_EQ(qp_signature_get_name(signature.get(), name), QP_OK);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(qp_string_ucs(name))), u"Sealrun Test Signer");
  qp_string_delete(name);
}

TEST_F(SignatureTest, EarlierSignaturesStayValidAfterStampsAndNewSignatures) {
  for (const char* name : {"qpdf-digitally-signed.pdf", "pyhanko-minimal-two-fields-signed-twice.pdf"}) {
    SCOPED_TRACE(name);
    const auto path = CopyCorpus(name);
    const int validBefore = Count(Pdfsig(path), "Signature is Valid");
    ASSERT_GE(validBefore, 1);
    Stamp(path, 0, 10, 10, 60, 60, 0);
    EXPECT_EQ(Count(Pdfsig(path), "Signature is Valid"), validBefore);
    ASSERT_EQ(EngineSign(path), QP_OK);
    const std::string judged = Pdfsig(path);
    EXPECT_EQ(Count(judged, "Signature is Valid"), validBefore + 1) << judged;
    const auto results = VerifyAll(path);
    ASSERT_EQ(static_cast<int>(results.size()), validBefore + 1);
    for (const auto& [verified, changed] : results) {
      EXPECT_EQ(verified, QP_OK);
      EXPECT_EQ(changed, 0) << "annotations and signatures are not page changes";
    }
  }
}

TEST_F(SignatureTest, CorpusSignaturesVerify) {
  // pdfsig finds these valid. The last file is encrypted: poppler decrypts its /Contents (which
  // signatures leave unencrypted) and fails, while `openssl cms -verify` over the byte ranges
  // succeeds, as the engine does.
  for (const char* name : {"qpdf-digitally-signed.pdf", "pyhanko-certified-with-indirect-refs-in-dir.pdf",
                           "qpdf-minimal-signed-restricted.pdf", "pdfjs-issue17069.pdf"}) {
    SCOPED_TRACE(name);
    const auto results = VerifyAll(CopyCorpus(name));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].first, QP_OK);
    EXPECT_EQ(results[0].second, 0);
  }
  // Two signatures in successive revisions: the first one's revision was followed by the second
  // signature only.
  const auto twice = VerifyAll(CopyCorpus("pyhanko-minimal-two-fields-signed-twice.pdf"));
  ASSERT_EQ(twice.size(), 2u);
  for (const auto& result : twice) EXPECT_EQ(result, std::make_pair(0, 0));
}

TEST_F(SignatureTest, ContentChangedAfterSigningIsReported) {
  const auto path = CopyCorpus("pypdf-crazyones.pdf");
  ASSERT_EQ(EngineSign(path), QP_OK);
  {
    DocumentHandle document = Open(path);
    PageHandle page = LoadPage(document.get(), 0);
    qp_cos pageDict = qp_page_object(page.get());
    const std::string drawing = "0 0 1 rg 10 10 100 100 re f\n";
    qp_cos stream = qp_cos_new_stream(document.get(), drawing.data(), drawing.size(), 0, nullptr, 0, 1);
    qp_cos contents = qp_cos_new_array(document.get(), 2, 0);
    qp_cos old = qp_cos_dict_gets(pageDict, "Contents");
    if (qp_cos_is_array(old)) {
      for (int i = 0; i < qp_cos_array_len(old); ++i) qp_cos_array_push(contents, qp_cos_array_get(old, i));
    } else {
      qp_cos_array_push(contents, old);
    }
    qp_cos_array_push(contents, stream);
    ASSERT_EQ(qp_cos_dict_puts(pageDict, "Contents", contents), QP_OK);
    page.reset();
    ASSERT_EQ(qp_document_save(document.get()), QP_OK);
  }
  const auto results = VerifyAll(path);
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].first, QP_OK) << "the signed revision itself is intact";
  EXPECT_EQ(results[0].second, 1);
}

// A document opened before the bytes changed on disk judges its signature over the bytes it was read from, the
// ones its objects came from; opened after, it finds the change.
TEST_F(SignatureTest, TamperedBytesMakeTheSignatureInvalid) {
  const auto path = CopyCorpus("qpdf-minimal.pdf");
  ASSERT_EQ(EngineSign(path), QP_OK);
  DocumentHandle openedBefore = Open(path);
  ASSERT_TRUE(openedBefore);
  SignatureHandle signatureBefore(qp_field_get_signature(qp_load_acroform_field(openedBefore.get())));
  ASSERT_TRUE(signatureBefore);
  std::string bytes = ReadFileBytes(path);
  const auto at = bytes.find("/MediaBox");
  ASSERT_NE(at, std::string::npos);
  bytes[at + 1] = 'm';
  WriteFileBytes(path, bytes);
  EXPECT_EQ(qp_signature_verify(signatureBefore.get(), nullptr), QP_OK);
  const auto results = VerifyAll(path);
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].first, QP_ERR_VERIFY);
  EXPECT_EQ(Count(Pdfsig(path), "Signature is Valid"), 0);
}

TEST_F(SignatureTest, ASignatureThatLeavesPartOfItsRevisionUnsignedIsRefused) {
  const auto path = CopyCorpus("qpdf-minimal.pdf");
  ASSERT_EQ(EngineSign(path), QP_OK);
  // Shorten the second range by ten bytes (the revision's "%%EOF" line falls outside it) and sign
  // exactly those ranges: the CMS is sound, the coverage is not.
  std::string bytes = ReadFileBytes(path);
  const auto at = bytes.find("/ByteRange[");
  ASSERT_NE(at, std::string::npos);
  const auto end = bytes.find(']', at);
  int64_t range[4];
  ASSERT_EQ(std::sscanf(bytes.c_str() + at + 11, "%" SCNd64 " %" SCNd64 " %" SCNd64 " %" SCNd64, &range[0], &range[1], &range[2], &range[3]), 4);
  range[3] -= 10;
  std::string shorter = "/ByteRange[" + std::to_string(range[0]) + " " + std::to_string(range[1]) + " " +
                        std::to_string(range[2]) + " " + std::to_string(range[3]) + "]";
  shorter.resize(end + 1 - at, ' ');
  bytes.replace(at, shorter.size(), shorter);
  WriteFileBytes(path, bytes);
  const auto cert = crypto::Certificate::FromDer(certificate_);
  ASSERT_TRUE(cert.Ok());
  const crypto::ByteView whole = crypto::AsBytes(bytes);
  const std::vector<crypto::ByteView> ranges = {whole.subspan(0, static_cast<std::size_t>(range[1])),
                                                whole.subspan(static_cast<std::size_t>(range[2]),
                                                              static_cast<std::size_t>(range[3]))};
  const auto cms = crypto::CmsSign(*cert, ranges);
  ASSERT_TRUE(cms.Ok());
  {
    DocumentHandle document = Open(path);
    SignatureHandle signature(qp_field_get_signature(qp_load_acroform_field(document.get())));
    ASSERT_TRUE(signature);
    ASSERT_EQ(qp_signature_merge_signature(signature.get(), cms->data(), static_cast<int>(cms->size())), QP_OK);
    EXPECT_EQ(qp_signature_verify(signature.get(), nullptr), QP_ERR_VERIFY);
    int changed = 0;
    EXPECT_EQ(qp_signature_verify_page_contents(signature.get(), &changed), QP_ERR_VERIFY);
  }
  // Poppler checks the digest only and calls it valid, noting the gap.
  const std::string judged = Pdfsig(path);
  EXPECT_EQ(Count(judged, "Signature is Valid"), 1) << judged;
  EXPECT_NE(judged.find("Not total document signed"), std::string::npos);
}

struct DeferredContext {
  int calls = 0;
  std::size_t askedRoom = 0;
  std::vector<unsigned char> digest;
};

int DeferredCallback(qp_sign_request* request) {
  auto* context = static_cast<DeferredContext*>(request->context);
  ++context->calls;
  if (request->phase == QP_SIGN_PHASE_SIZE) {
    if (request->size != 0) return 1;
    request->size = 12384;
    return 0;
  }
  context->askedRoom = request->size;
  qp_hash hash = nullptr;
  if (qp_hash_create(&hash, QP_HASH_SHA1) != QP_OK) return 1;
  for (int i = 0; i < request->rangeCount; ++i) qp_hash_update(hash, request->rangeData[i], request->rangeLengths[i]);
  context->digest.resize(20);
  size_t length = 20;
  qp_hash_final(hash, context->digest.data(), &length);
  qp_hash_destroy(hash);
  const unsigned char placeholder[10] = {};
  return qp_signature_set_signed_response(request, placeholder, 10);
}

TEST_F(SignatureTest, DeferredSignatureIsMergedIntoTheReservedRoom) {
  const auto path = CopyCorpus("pdfjs-tracemonkey.pdf");
  DocumentHandle document = Open(path);
  SignatureHandle signature = AddSignatureField(document.get(), "online");
  DeferredContext context;
  const qp_sign_callback_desc descriptor{DeferredCallback, &context};
  ASSERT_EQ(qp_signature_save_pkcs1(signature.get(), nullptr, nullptr, &descriptor), QP_OK);
  EXPECT_EQ(context.calls, 2);
  EXPECT_EQ(context.askedRoom, 12384u);
  int64_t range[4];
  ASSERT_EQ(qp_signature_get_byte_range(signature.get(), range), QP_OK);
  EXPECT_EQ(range[0], 0);
  EXPECT_EQ((range[2] - range[1] - 2) / 2, 12384) << "the room asked for is reserved";
  const std::string saved = ReadFileBytes(path);
  EXPECT_EQ(static_cast<std::size_t>(range[2] + range[3]), saved.size());
  // The digest handed to the callback covers exactly the byte ranges of the saved file.
  qp_hash hash = nullptr;
  ASSERT_EQ(qp_hash_create(&hash, QP_HASH_SHA1), QP_OK);
  qp_hash_update(hash, saved.data(), static_cast<size_t>(range[1]));
  qp_hash_update(hash, saved.data() + range[2], static_cast<size_t>(range[3]));
  std::vector<unsigned char> digest(20);
  size_t length = 20;
  qp_hash_final(hash, digest.data(), &length);
  qp_hash_destroy(hash);
  EXPECT_EQ(digest, context.digest);
  EXPECT_EQ(qp_signature_verify(signature.get(), nullptr), QP_ERR_VERIFY) << "a placeholder is no signature";

  // The signing server's answer, made here with the same key.
  const auto cert = crypto::Certificate::FromDer(certificate_);
  ASSERT_TRUE(cert.Ok());
  const crypto::ByteView whole = crypto::AsBytes(saved);
  const std::vector<crypto::ByteView> ranges = {whole.subspan(0, static_cast<std::size_t>(range[1])),
                                                whole.subspan(static_cast<std::size_t>(range[2]))};
  crypto::CmsSignOptions options;
  options.digest = crypto::DigestAlgorithm::Sha1;
  const auto cms = crypto::CmsSign(*cert, ranges, options);
  ASSERT_TRUE(cms.Ok());
  const std::vector<unsigned char> tooLarge(12385, 0x30);
  EXPECT_EQ(qp_signature_merge_signature(signature.get(), tooLarge.data(), static_cast<int>(tooLarge.size())),
            QP_ERR_NO_ROOM);
  EXPECT_EQ(ReadFileBytes(path), saved);
  ASSERT_EQ(qp_signature_merge_signature(signature.get(), cms->data(), static_cast<int>(cms->size())), QP_OK);
  const std::string merged = ReadFileBytes(path);
  EXPECT_EQ(merged.size(), saved.size());
  EXPECT_EQ(qp_signature_verify(signature.get(), nullptr), QP_OK);
  signature.reset();
  document.reset();
  const std::string judged = Pdfsig(path);
  EXPECT_EQ(Count(judged, "Signature is Valid"), 1) << judged;
}

int RefusingCallback(qp_sign_request* request) {
  if (request->phase == QP_SIGN_PHASE_SIZE) {
    request->size = 4096;
    return 0;
  }
  return 1;  // the signing service said no
}

TEST_F(SignatureTest, ACallbackThatRefusesLeavesTheFileAsItWas) {
  const auto path = CopyCorpus("qpdf-minimal.pdf");
  const std::string before = ReadFileBytes(path);
  DocumentHandle document = Open(path);
  SignatureHandle signature = AddSignatureField(document.get(), "x");
  const qp_sign_callback_desc descriptor{RefusingCallback, nullptr};
  EXPECT_EQ(qp_signature_save_pkcs1(signature.get(), nullptr, nullptr, &descriptor), QP_ERR_SIGN);
  EXPECT_EQ(ReadFileBytes(path), before);
  int files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(temp_.Path())) ++files;
  EXPECT_EQ(files, 1);
}

TEST_F(SignatureTest, SignatureFieldIsRemovedFromPageAndForm) {
  const auto path = CopyCorpus("qpdf-digitally-signed.pdf");
  ASSERT_EQ(EngineSign(path), QP_OK);
  {
    DocumentHandle document = Open(path);
    ASSERT_EQ(qp_acroform_signature_count(document.get()), 2);
    qp_field latest = nullptr;
    int best = 0;
    for (qp_field field = qp_load_acroform_field(document.get()); field != nullptr; field = qp_field_next(field)) {
      SignatureHandle signature(qp_field_get_signature(field));
      if (signature && qp_signature_get_obj_num(signature.get()) > best) {
        best = qp_signature_get_obj_num(signature.get());
        latest = field;
      }
    }
    ASSERT_NE(latest, nullptr);
    const int pageIndex = qp_field_get_page_num(latest);
    ASSERT_EQ(pageIndex, 0);
    PageHandle page = LoadPage(document.get(), pageIndex);
    qp_annot widget = qp_page_lookup_annotation(page.get(), latest);
    ASSERT_NE(widget, nullptr);
    ASSERT_EQ(qp_annot_delete(widget), QP_OK);
    ASSERT_EQ(qp_field_delete(latest), QP_OK);
    ASSERT_EQ(qp_document_update_page(document.get(), 0, 0), QP_OK);
    page.reset();
    ASSERT_EQ(qp_document_save(document.get()), QP_OK);
  }
  DocumentHandle document = Open(path);
  EXPECT_EQ(qp_acroform_signature_count(document.get()), 1);
  EXPECT_EQ(RunTool("qpdf --check " + Quote(path)).exitCode, 0);
  const std::string judged = Pdfsig(path);
  EXPECT_EQ(Count(judged, "Signature is Valid"), 1) << judged;
}

TEST_F(SignatureTest, WidgetImageIsUprightOnARotatedPage) {
  const auto path = CopyCorpus("pdfjs-issue5747.pdf");  // /Rotate 270
  {
    DocumentHandle document = Open(path);
    PageHandle page = LoadPage(document.get(), 0);
    int rotation = -1;
    ASSERT_EQ(qp_page_rotate(page.get(), &rotation), QP_OK);
    ASSERT_EQ(rotation, 270);
    qp_field field = qp_acroform_create_form_field(document.get(), QP_FIELD_SIGNATURE);
    qp_annot widget = qp_page_add_form_field(page.get(), field);
    ASSERT_NE(widget, nullptr);
    ASSERT_EQ(qp_annot_set_rect(widget, 50, 60, 170, 140), QP_OK);
    ASSERT_EQ(qp_annot_set_rotate(widget, rotation), QP_OK);
    ImageHandle image = TwoToneImage(document.get(), 30, 30);
    ASSERT_EQ(qp_annot_set_image_appearance_from_handle(widget, image.get()), QP_OK);
    ASSERT_EQ(qp_annot_set_signature_field_appearance(widget, image.get(), rotation), QP_OK);
    page.reset();
    ASSERT_EQ(qp_document_save(document.get()), QP_OK);
  }
  const Rendering shown = RenderPage(path, 0);
  auto red = [](const unsigned char* p) { return p[0] > 180 && p[1] < 90 && p[2] < 90; };
  auto blue = [](const unsigned char* p) { return p[2] > 180 && p[0] < 90 && p[1] < 90; };
  EXPECT_TRUE(red(shown.At(110, shown.height - 130))) << "top of the image at the top of the screen";
  EXPECT_TRUE(blue(shown.At(110, shown.height - 70)));
}

TEST_F(SignatureTest, SigningWithoutAKeyFailsAndLeavesTheFile) {
  const auto path = CopyCorpus("qpdf-minimal.pdf");
  const std::string before = ReadFileBytes(path);
  sealrun::testing::TestCertificateOptions options;
  options.commonName = "Nobody Registered";
  options.freshKey = true;
  options.rsaBits = 1024;
  const auto stranger = sealrun::testing::MakeSelfSignedForTesting(options);
  DocumentHandle document = Open(path);
  SignatureHandle signature = AddSignatureField(document.get(), "x");
  EXPECT_EQ(qp_signature_save(signature.get(), "", "", stranger.certificateDer.data(),
                              static_cast<int>(stranger.certificateDer.size())),
            QP_ERR_SIGN);
  EXPECT_EQ(qp_signature_save(signature.get(), "", "", "junk", 4), QP_ERR_ARGUMENT);
  EXPECT_EQ(ReadFileBytes(path), before);
}

}  // namespace
}  // namespace sealrun::platform::pdfengine::testing
