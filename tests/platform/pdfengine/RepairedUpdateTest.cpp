// Saves of files whose cross-reference was rebuilt on open, at the engine: every corpus file without its
// cross-reference takes an update that reads back without a rebuild, a stream whose length the rebuild corrected
// is written again, a signature whose contents a signing service returns later is merged into the room the
// update reserved, and a refused signature leaves the file as it was.
#include <cctype>

#include "platform/crypto/Certificate.h"
#include "platform/crypto/Cms.h"
#include "platform/crypto/KeyStore.h"
#include "tests/platform/pdfengine/AppendedUpdate.h"
#include "tests/platform/pdfengine/EngineFixture.h"
#include "tests/testsupport/TestCertificates.h"

namespace sealrun::platform::pdfengine::testing {
namespace {

namespace crypto = sealrun::platform::crypto;
using sealrun::testing::ReadFileBytes;

class RepairedUpdateTest : public EngineTest {
 protected:
  std::filesystem::path DamagedCopy(const std::string& name) {
    const auto target = temp_ / name;
    std::filesystem::copy_file(sealrun::testing::SourceFile("tests/data/damaged-xref/" + name), target);
    std::filesystem::permissions(target, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
    return target;
  }

  // An unsigned signature field "Signature<n+1>" on page 0.
  SignatureHandle AddSignatureField(qp_document document) {
    PageHandle page = LoadPage(document, 0);
    qp_field field = qp_acroform_create_form_field(document, QP_FIELD_SIGNATURE);
    EXPECT_NE(field, nullptr);
    qp_string name = qp_string_create();
    const std::u16string text = u"Signature" + std::u16string(1, static_cast<char16_t>(u'1' + qp_acroform_signature_count(document)));
    EXPECT_EQ(qp_string_append_ucs(name, reinterpret_cast<const uint16_t*>(text.c_str()), -1), QP_OK);
    EXPECT_EQ(qp_field_set_name(field, name), QP_OK);
    qp_string_delete(name);
    SignatureHandle signature(qp_field_create_signature(field));
    qp_annot widget = qp_page_add_form_field(page.get(), field);
    EXPECT_NE(widget, nullptr);
    EXPECT_EQ(qp_annot_set_rect(widget, 300, 100, 400, 160), QP_OK);
    return signature;
  }

  int Files() const {
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(temp_.Path())) ++files;
    return files;
  }
};

TEST_F(RepairedUpdateTest, AStreamWhoseLengthTheRebuildCorrectedIsWrittenAgain) {
  const auto path = DamagedCopy("lying-length-startxref-0.pdf");
  const std::string before = ReadFileBytes(path);
  Stamp(path, 0, 50, 50, 150, 120, 0);
  const std::string after = ReadFileBytes(path);
  ASSERT_GT(after.size(), before.size());
  EXPECT_EQ(after.compare(0, before.size(), before), 0);
  EXPECT_EQ(ObjectsWrittenBy(after.substr(before.size())).count(4), 1u) << "the page content, /Length 40 in the file";
  // Read from the update alone, nothing is left for qpdf to warn about, and the content is what was written.
  const ToolResult check = RunTool("qpdf --check " + Quote(path));
  EXPECT_EQ(check.exitCode, 0) << check.output;
  const auto content = [](const std::filesystem::path& pdf) {
    return RunTool("qpdf --show-object=4 --filtered-stream-data " + Quote(pdf)).output;
  };
  EXPECT_EQ(content(path), content(sealrun::testing::CorpusFile("qpdf-minimal.pdf")));
}

struct ServiceContext {
  std::vector<std::string> ranges;  // the bytes handed to the signing service
};

int SigningService(qp_sign_request* request) {
  if (request->phase == QP_SIGN_PHASE_SIZE) {
    request->size = 8192;
    return 0;
  }
  auto* context = static_cast<ServiceContext*>(request->context);
  for (int i = 0; i < request->rangeCount; ++i)
    context->ranges.emplace_back(reinterpret_cast<const char*>(request->rangeData[i]), request->rangeLengths[i]);
  const unsigned char placeholder[10] = {};
  return qp_signature_set_signed_response(request, placeholder, 10);
}

TEST_F(RepairedUpdateTest, ADeferredSignatureCoversTheWholeFileAndIsMergedLater) {
  const auto& identity = sealrun::testing::SharedTestIdentity();
  ASSERT_TRUE(crypto::KeyStore::Instance().ImportPkcs12(identity.pkcs12, identity.password).Ok());
  const auto path = DamagedCopy("encrypted-startxref-0.pdf");
  const std::string before = ReadFileBytes(path);
  DocumentHandle document = Open(path);
  ASSERT_EQ(qp_document_was_repaired(document.get()), 1);
  SignatureHandle signature = AddSignatureField(document.get());
  ServiceContext context;
  const qp_sign_callback_desc descriptor{SigningService, &context};
  ASSERT_EQ(qp_signature_save_pkcs1(signature.get(), nullptr, nullptr, &descriptor), QP_OK);
  EXPECT_EQ(qp_document_was_repaired(document.get()), 0);

  const std::string saved = ReadFileBytes(path);
  EXPECT_EQ(saved.compare(0, before.size(), before), 0);
  int64_t range[4];
  ASSERT_EQ(qp_signature_get_byte_range(signature.get(), range), QP_OK);
  ASSERT_EQ(range[0], 0);
  EXPECT_EQ(range[2] + range[3], static_cast<int64_t>(saved.size())) << "up to the end of the complete update";
  EXPECT_EQ((range[2] - range[1] - 2) / 2, 8192);
  EXPECT_EQ(context.ranges, (std::vector<std::string>{saved.substr(0, static_cast<std::size_t>(range[1])),
                                                      saved.substr(static_cast<std::size_t>(range[2]))}))
      << "the service signs the bytes of the finished file";

  const auto certificate = crypto::Certificate::FromDer(identity.certificateDer);
  ASSERT_TRUE(certificate.Ok());
  const crypto::ByteView whole = crypto::AsBytes(saved);
  const std::vector<crypto::ByteView> ranges = {whole.subspan(0, static_cast<std::size_t>(range[1])),
                                                whole.subspan(static_cast<std::size_t>(range[2]))};
  const auto cms = crypto::CmsSign(*certificate, ranges, crypto::CmsSignOptions{});
  ASSERT_TRUE(cms.Ok());
  ASSERT_EQ(qp_signature_merge_signature(signature.get(), cms->data(), static_cast<int>(cms->size())), QP_OK);
  EXPECT_EQ(qp_signature_verify(signature.get(), nullptr), QP_OK);
  signature.reset();
  document.reset();
  const std::string judged = RunTool("pdfsig -nocert " + Quote(path)).output;
  EXPECT_NE(judged.find("Signature is Valid"), std::string::npos) << judged;
  EXPECT_NE(judged.find("Total document signed"), std::string::npos) << judged;
}

int RefusingService(qp_sign_request* request) {
  if (request->phase == QP_SIGN_PHASE_SIZE) {
    request->size = 4096;
    return 0;
  }
  return 1;
}

TEST_F(RepairedUpdateTest, ARefusedSignatureLeavesTheFileAsItWas) {
  const auto path = DamagedCopy("plain-startxref-0.pdf");
  const std::string before = ReadFileBytes(path);
  DocumentHandle document = Open(path);
  SignatureHandle signature = AddSignatureField(document.get());
  const qp_sign_callback_desc descriptor{RefusingService, nullptr};
  EXPECT_EQ(qp_signature_save_pkcs1(signature.get(), nullptr, nullptr, &descriptor), QP_ERR_SIGN);
  EXPECT_EQ(ReadFileBytes(path), before);
  EXPECT_EQ(Files(), 1) << "a copy was left behind";
}

// The bytes with the last startxref pointing at offset 0, where no cross-reference is: every reader has to
// rebuild the cross-reference.
std::string WithStartxrefZero(const std::string& pdf) {
  const std::size_t keyword = pdf.rfind("startxref");
  if (keyword == std::string::npos) return pdf;
  std::size_t digits = keyword + 9;
  while (digits < pdf.size() && std::isspace(static_cast<unsigned char>(pdf[digits]))) ++digits;
  std::size_t end = digits;
  while (end < pdf.size() && std::isdigit(static_cast<unsigned char>(pdf[end]))) ++end;
  return pdf.substr(0, digits) + "0" + pdf.substr(end);
}

TEST_F(RepairedUpdateTest, EveryCorpusFileWithoutItsCrossReferenceTakesAStampAndReadsBackWithoutARebuild) {
  int sealed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(sealrun::testing::CorpusDir())) {
    if (entry.path().extension() != ".pdf") continue;
    const std::string name = entry.path().filename().string();
    if (name == "qpdf-enc-R3-V2-U-view-O-master.pdf") continue;  // needs a user password
    SCOPED_TRACE(name);
    const auto path = temp_ / name;
    const std::string damaged = WithStartxrefZero(ReadFileBytes(entry.path()));
    sealrun::testing::WriteFileBytes(path, damaged);
    const int pages = [&] {
      DocumentHandle document = Open(path);
      if (!document || qp_document_was_repaired(document.get()) != 1) return -1;
      return qp_page_count(document.get());
    }();
    ASSERT_GT(pages, 0) << "opens only with a rebuilt cross-reference";
    Stamp(path, 0, 20, 20, 60, 60, 0);
    const std::string after = ReadFileBytes(path);
    ASSERT_GT(after.size(), damaged.size());
    EXPECT_EQ(after.compare(0, damaged.size(), damaged), 0);
    DocumentHandle document = Open(path);
    ASSERT_TRUE(document);
    EXPECT_EQ(qp_document_was_repaired(document.get()), 0);
    EXPECT_EQ(qp_page_count(document.get()), pages);
    const ToolResult check = RunTool("qpdf --check " + Quote(path));
    EXPECT_EQ(check.exitCode, 0) << check.output;
    std::filesystem::remove(path);
    ++sealed;
  }
  EXPECT_GE(sealed, 50);
}

}  // namespace
}  // namespace sealrun::platform::pdfengine::testing
