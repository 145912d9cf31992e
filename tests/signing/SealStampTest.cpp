// Stamping real files: what each mode appends, what readers find again, and that every refusal leaves
// the file exactly as it was.
#include <gtest/gtest.h>

#include <functional>

#include "tests/signing/SealStampTestSupport.h"
#include "verify/DocumentVerification.h"

namespace sealrun::signing::testing {
namespace {

using sealrun::testing::ReadFileBytes;
using sealrun::testing::WriteFileBytes;

bool IsPrefixOf(const std::string& prefix, const std::string& whole) {
  return whole.size() > prefix.size() && whole.compare(0, prefix.size(), prefix) == 0;
}

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class SealStampTest : public StampFixture {};

TEST_F(SealStampTest, SealAnnotationAppendsOneUpdateWithTheRecordAndTheSavedFilesFingerprint) {
  // Plain, object streams, linearized and updated, annotated, RC4 revision 2, AES, signed twice.
  for (const char* name : {"qpdf-minimal.pdf", "pypdf-crazyones.pdf", "pdfjs-issue14497.pdf", "pypdf-commented.pdf",
                           "pypdf-r2-empty-password.pdf", "qpdf-V4-aes.pdf",
                           "pyhanko-minimal-two-fields-signed-twice.pdf"}) {
    SCOPED_TRACE(name);
    const auto path = CorpusCopy(name);
    const std::string original = ReadFileBytes(*path);
    StampRecord written;
    ASSERT_EQ(StampSealAnnotation(inputs_, Wide(*path), u"123456", &written).Code(), 0);
    const std::string stamped = ReadFileBytes(*path);
    EXPECT_TRUE(IsPrefixOf(original, stamped)) << "the original bytes must stay in front of one appended update";
    EXPECT_EQ(Count(stamped, "%%EOF") - Count(original, "%%EOF"), 1);
    const ToolRun check = RunTool("qpdf --check " + Quote(*path));
    EXPECT_EQ(check.exitCode, 0) << check.output;

    const DocumentHandle document = OpenDocument(engine_, *path);
    ASSERT_TRUE(document);
    const auto seals = SealAnnotations(document.get(), written.pageIndex);
    ASSERT_EQ(seals.size(), 1u);
    const external::CosHandle info(qp_cos_dict_gets(seals[0].get(), "Info"));
    ASSERT_TRUE(info);
    EXPECT_EQ(qp_cos_to_bool(external::CosHandle(qp_cos_dict_gets(info.get(), "Unicode")).get()), 1);
    EXPECT_EQ(qp_cos_to_int(external::CosHandle(qp_cos_dict_gets(info.get(), "proVersion")).get()), 10);
    const external::CosHandle baseInfo(qp_cos_dict_gets(info.get(), "BaseInfo"));
    const auto stored = ReadStream(baseInfo.get(), StreamBytes::Stored);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored, ReadStream(baseInfo.get(), StreamBytes::Decoded)) << "/BaseInfo is stored unfiltered";
    const int strLen = qp_cos_to_int(external::CosHandle(qp_cos_dict_gets(baseInfo.get(), "strLen")).get());
    ASSERT_EQ(stored->size(), static_cast<size_t>(strLen) + 1);
    EXPECT_EQ(stored->back(), '\0');

    const std::u16string record = DecodeSignatureInfo(stored->substr(0, static_cast<size_t>(strLen)), RecordForm::SealOnly);
    EXPECT_EQ(record, written.text);
    const auto fields = ParseSignatureInfo(record);
    const auto strMd5 = FindSignatureInfoValue(fields, u"strMd5");
    ASSERT_TRUE(strMd5);
    EXPECT_EQ(std::string(strMd5->begin(), strMd5->end()), Fingerprint(document.get()))
        << "verification recomputes the fingerprint on the saved file and must find the same text";
    EXPECT_EQ(FindSignatureInfoValue(fields, u"KeySerial"), u"ZQ-DEMO-0001");
    EXPECT_EQ(FindSignatureInfoValue(fields, u"SignatureType"), u"1");
    EXPECT_EQ(qp_cos_dict_gets(seals[0].get(), "certSignMsg"), nullptr) << "no signer, no signed message";
  }
}

TEST_F(SealStampTest, SignedMessageAndCertificateAreStoredCompressedAsUtf16) {
  const auto path = CorpusCopy("qpdf-minimal.pdf");
  std::u16string signedOver;
  const std::u16string certificate = u"MIIC证书内容==";
  const std::u16string message = u"签名消息 MIAGCSqGSIb3DQEHAqCA";
  inputs_.signSealMessage = [&](std::u16string_view fingerprint, std::u16string_view pin, std::u16string& certText) {
    EXPECT_EQ(pin, u"654321");
    signedOver = fingerprint;
    certText = certificate;
    return message;
  };
  StampRecord written;
  ASSERT_EQ(StampSealAnnotation(inputs_, Wide(*path), u"654321", &written).Code(), 0);

  const DocumentHandle document = OpenDocument(engine_, *path);
  ASSERT_TRUE(document);
  const auto seals = SealAnnotations(document.get(), 0);
  ASSERT_EQ(seals.size(), 1u);
  EXPECT_EQ(FindSignatureInfoValue(ParseSignatureInfo(written.text), u"strMd5"), signedOver)
      << "the message is signed over the fingerprint the record carries";
  for (const auto& [key, expected] : {std::pair{"certContext", certificate}, std::pair{"certSignMsg", message}}) {
    SCOPED_TRACE(key);
    const external::CosHandle stream(qp_cos_dict_gets(seals[0].get(), key));
    ASSERT_TRUE(stream);
    EXPECT_STREQ(qp_cos_to_name(external::CosHandle(qp_cos_dict_gets(stream.get(), "Filter")).get()), "FlateDecode");
    const auto decoded = ReadStream(stream.get(), StreamBytes::Decoded);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->size(), expected.size() * 2) << "no terminator";
    EXPECT_EQ(FromUtf16Le(*decoded), expected);
    EXPECT_NE(ReadStream(stream.get(), StreamBytes::Stored), decoded) << "the filter named is applied";
  }

  // A service that signs nothing leaves both entries out and the seal is still saved.
  const auto second = CorpusCopy("pypdf-crazyones.pdf");
  inputs_.signSealMessage = [](std::u16string_view, std::u16string_view, std::u16string&) { return std::u16string(); };
  ASSERT_EQ(StampSealAnnotation(inputs_, Wide(*second), u"654321").Code(), 0);
  const DocumentHandle plain = OpenDocument(engine_, *second);
  const auto plainSeals = SealAnnotations(plain.get(), 0);
  ASSERT_EQ(plainSeals.size(), 1u);
  EXPECT_EQ(qp_cos_dict_gets(plainSeals[0].get(), "certContext"), nullptr);
  EXPECT_EQ(qp_cos_dict_gets(plainSeals[0].get(), "certSignMsg"), nullptr);
}

TEST_F(SealStampTest, SignatureFieldIsSignedAndEarlierSignaturesStillVerify) {
  inputs_.signatureMode = config::SignatureMode(u"1");
  inputs_.handwritten = true;
  struct Case {
    const char* name;
    const char* fieldName;
    int validSignatures;
  };
  for (const Case& c : {Case{"pyhanko-minimal-two-fields-signed-twice.pdf", "Signature3", 3},
                        Case{"qpdf-minimal.pdf", "Signature1", 1}, Case{"pypdf-FormTestFromOo.pdf", "Signature1", 1},
                        Case{"pypdf-crazyones.pdf", "Signature1", 1}}) {
    SCOPED_TRACE(c.name);
    const auto path = CorpusCopy(c.name);
    const std::string original = ReadFileBytes(*path);
    StampRecord written;
    ASSERT_EQ(StampSignatureField(inputs_, Wide(*path), u"123456", &written).Code(), 0);
    EXPECT_TRUE(IsPrefixOf(original, ReadFileBytes(*path)));
    const ToolRun check = RunTool("qpdf --check " + Quote(*path));
    EXPECT_EQ(check.exitCode, 0) << check.output;
    const ToolRun pdfsig = RunTool("pdfsig -nocert " + Quote(*path));
    EXPECT_EQ(Count(pdfsig.output, "Signature is Valid."), c.validSignatures) << pdfsig.output;
    EXPECT_NE(pdfsig.output.find(std::string("Signature Field Name: ") + c.fieldName), std::string::npos) << pdfsig.output;

    // The record as the field's private data, in the signature-field form.
    const DocumentHandle document = OpenDocument(engine_, *path);
    ASSERT_TRUE(document);
    qp_field last = nullptr;
    for (qp_field field = qp_load_acroform_field(document.get()); field != nullptr; field = qp_field_next(field))
      last = field;
    ASSERT_NE(last, nullptr);
    int length = 0;
    ASSERT_EQ(qp_field_get_private_data(last, "QPX", nullptr, &length), QP_OK);
    std::string data(static_cast<size_t>(length), '\0');
    ASSERT_EQ(qp_field_get_private_data(last, "QPX", data.data(), &length), QP_OK);
    const std::u16string record = DecodeSignatureInfo(data, RecordForm::SignatureField);
    EXPECT_EQ(record, written.text);
    EXPECT_NE(record.find(u"SignatureKeySN:ZQ-DEMO-0001;\r\n"), std::u16string::npos);
    EXPECT_EQ(FindSignatureInfoValue(ParseSignatureInfo(record), u"SignatureType"), u"5");
    EXPECT_FALSE(FindSignatureInfoValue(ParseSignatureInfo(record), u"strMd5"));
  }
}

TEST_F(SealStampTest, OnlineSignerReplacesTheEngineSignature) {
  const auto path = CorpusCopy("qpdf-minimal.pdf");
  const std::string original = ReadFileBytes(*path);
  int calls = 0;
  inputs_.certificate = {};  // the server's certificate is used, not a local one
  inputs_.signOnline = [&](qp_signature signature) {
    ++calls;
    EXPECT_NE(signature, nullptr);
    return StampResult(StampFailure::ServerRefused);
  };
  const StampResult result = StampSignatureField(inputs_, Wide(*path), u"123456");
  EXPECT_EQ(result.Code(), -3);
  ASSERT_FALSE(result.Ok());
  EXPECT_EQ(result.Failure(), StampFailure::ServerRefused) << "the signer's reason reaches the run";
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(ReadFileBytes(*path), original);
}

TEST_F(SealStampTest, EveryFailureLeavesTheFileByteIdentical) {
  using Stamp = StampResult (*)(const StampInputs&, std::u16string_view, std::u16string_view, StampRecord*);
  const auto notPdf = temp_ / "letter.pdf";
  WriteFileBytes(notPdf, "Dear reader, this is not a PDF file.\n");
  const auto onePage = temp_ / "one-page.pdf";
  WriteTestPdf(onePage, {BlankPage({0, 0, 300, 400}, std::nullopt, 0)});
  const auto badPicture = std::vector<uint8_t>{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 1, 2, 3};
  SealTemplate pageThree = record_;
  pageThree.pageIndex = 2;
  sealrun::testing::TestCertificateOptions strangerOptions;
  strangerOptions.commonName = "No Key Here";
  strangerOptions.rsaBits = 1024;
  strangerOptions.freshKey = true;
  const auto stranger = sealrun::testing::MakeSelfSignedForTesting(strangerOptions);

  struct Case {
    const char* what;
    std::optional<std::filesystem::path> path;
    int expected;  // the per-document number
    StampFailure failure;
    std::optional<Permission> denied;
    std::optional<PlacementFailure> notPlaced;
    std::function<void(StampInputs&)> change;
  };
  const std::vector<Case> cases = {
      {"form filling and modification denied", CorpusCopy("derived-aes128-r4-nomodify-noform-FormTestFromOo.pdf"),
       kStampOpenFailed, StampFailure::PermissionDenied, Permission::FillForms, std::nullopt, nullptr},
      {"modification denied", CorpusCopy("qpdf-enc-R3-V2.pdf"), kStampOpenFailed, StampFailure::PermissionDenied,
       Permission::Modify, std::nullopt, nullptr},
      {"annotations and modification denied", CorpusCopy("pdfjs-secHandler.pdf"), kStampOpenFailed,
       StampFailure::PermissionDenied, Permission::Modify, std::nullopt, nullptr},
      {"not a PDF", notPdf, kStampOpenFailed, StampFailure::NotOpened, std::nullopt, std::nullopt, nullptr},
      {"template page beyond the last page", onePage, kStampOpenFailed, StampFailure::NoPlacement, std::nullopt,
       PlacementFailure::TemplatePageBeyondLast, [&](StampInputs& in) { in.placement.selectedTemplate = &pageThree; }},
      {"keyword on no page", onePage, kStampOpenFailed, StampFailure::NoPlacement, std::nullopt,
       PlacementFailure::KeywordNotFound,
       [](StampInputs& in) {
         in.placement.keyword = u"absent";
         in.placement.keywordMode = true;
         in.placement.pageSetting = kPageSettingAllPages;
       }},
      {"picture does not decode", onePage, kStampNoImage, StampFailure::NoImage, std::nullopt, std::nullopt,
       [&](StampInputs& in) { in.image = badPicture; }},
      {"seal names no record", onePage, kStampNoRecord, StampFailure::NoRecord, std::nullopt, std::nullopt,
       [](StampInputs& in) { in.seal.reset(); }},
  };
  for (const Stamp stamp : {Stamp{&StampSealAnnotation}, Stamp{&StampSignatureField}}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (stamp == &StampSealAnnotation ? " (seal annotation)" : " (signature field)"));
      StampInputs inputs = inputs_;
      if (c.change) c.change(inputs);
      const std::string original = ReadFileBytes(*c.path);
      StampRecord written;
      const StampResult result = stamp(inputs, Wide(*c.path), u"123456", &written);
      EXPECT_EQ(result.Code(), c.expected);
      ASSERT_FALSE(result.Ok());
      EXPECT_EQ(result.Failure(), c.failure) << result.Reason();
      EXPECT_EQ(result.DeniedPermission(), c.denied);
      EXPECT_EQ(result.PlacementFailed(), c.notPlaced);
      EXPECT_EQ(ReadFileBytes(*c.path), original);
      EXPECT_TRUE(written.text.empty());
    }
  }

  // A missing file stays missing; a signer certificate without its key in the store signs nothing.
  const auto missing = temp_ / "missing.pdf";
  EXPECT_EQ(StampSealAnnotation(inputs_, Wide(missing), u"123456").Code(), kStampOpenFailed);
  EXPECT_FALSE(std::filesystem::exists(missing));
  StampInputs keyless = inputs_;
  keyless.certificate = stranger.certificateDer;
  const std::string original = ReadFileBytes(onePage);
  const StampResult unsigned_ = StampSignatureField(keyless, Wide(onePage), u"123456");
  EXPECT_NE(unsigned_.Code(), 0);
  ASSERT_FALSE(unsigned_.Ok());
  EXPECT_EQ(unsigned_.Failure(), StampFailure::NotSigned);
  EXPECT_EQ(unsigned_.Code(), unsigned_.EngineCode()) << "the engine's result passes through";
  EXPECT_EQ(ReadFileBytes(onePage), original);
}

// Whatever a file's streams claim about their lengths, a seal is reported only when it verifies in what was
// written; otherwise the file stays byte-identical.
TEST_F(SealStampTest, ASealIsReportedOnlyWhenItVerifiesInTheWrittenFile) {
  using Stamp = StampResult (*)(const StampInputs&, std::u16string_view, std::u16string_view, StampRecord*);
  const std::string original = ReadFileBytes(sealrun::testing::CorpusFile("qpdf-minimal.pdf"));
  ASSERT_NE(original.find("/Length 44"), std::string::npos);
  int sealed = 0;
  int refused = 0;
  for (const char* lie : {"/Length 94", "/Length 14", "/Length 45", "/Length 99"}) {
    for (const Stamp stamp : {Stamp{&StampSealAnnotation}, Stamp{&StampSignatureField}}) {
      const bool field = stamp == Stamp{&StampSignatureField};
      SCOPED_TRACE(std::string(lie) + (field ? ", signature field" : ", seal annotation"));
      std::string bytes = original;
      bytes.replace(bytes.find("/Length 44"), 10, lie);
      const auto path = temp_ / "lying-length.pdf";
      WriteFileBytes(path, bytes);
      const StampResult result = stamp(inputs_, Wide(path), u"123456", nullptr);
      if (!result.Ok()) {
        ++refused;
        EXPECT_EQ(ReadFileBytes(path), bytes);
        continue;
      }
      ++sealed;
      const DocumentHandle document = OpenDocument(engine_, path);
      ASSERT_TRUE(document);
      const verify::DocumentExamination examination =
          field ? verify::ExamineSignatureFields(document.get()) : verify::ExamineSealAnnotations(document.get());
      ASSERT_EQ(examination.seals.size(), 1u);
      EXPECT_TRUE(examination.seals[0].valid) << "reported sealed, found invalid: "
                                              << (examination.seals[0].findings.empty() ? "" : verify::FindingText(examination.seals[0].findings[0]));
    }
  }
  EXPECT_EQ(sealed + refused, 8);
}

}  // namespace
}  // namespace sealrun::signing::testing
