// Sealing files whose cross-reference readers have to rebuild (tests/data/damaged-xref): the seal goes into an
// update after the original bytes with a cross-reference of its own, so earlier signatures still check out, an
// encrypted file still opens with its empty password, and the file reads without a rebuild, as qpdf, pdfsig and
// the system's own verification find.
#include <gtest/gtest.h>

#include "tests/signing/SealStampTestSupport.h"
#include "verify/DocumentVerification.h"

namespace sealrun::signing::testing {
namespace {

using sealrun::testing::ReadFileBytes;

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

struct DamagedFile {
  const char* name;
  int earlierSignatures;  // that pdfsig finds valid before sealing
  bool encrypted;
};

constexpr DamagedFile kDamagedFiles[] = {
    {"signed-startxref-off-by-7.pdf", 1, false},
    {"encrypted-startxref-0.pdf", 0, true},
    {"plain-startxref-0.pdf", 0, false},
};

class RepairedFileSealTest : public StampFixture {
 protected:
  std::filesystem::path DamagedCopy(const std::string& name) {
    const auto target = temp_ / name;
    std::filesystem::copy_file(sealrun::testing::SourceFile("tests/data/damaged-xref/" + name), target,
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(target, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
    return target;
  }

  static bool OpensRepaired(const std::filesystem::path& path) {
    const DocumentHandle document = OpenDocument(engine_, path);
    return document && qp_document_was_repaired(document.get()) == 1;
  }
};

TEST_F(RepairedFileSealTest, BothFormsAppendACompleteUpdateThatReadersAcceptWithoutARebuild) {
  using Stamp = StampResult (*)(const StampInputs&, std::u16string_view, std::u16string_view, StampRecord*);
  for (const DamagedFile& file : kDamagedFiles) {
    for (const Stamp stamp : {Stamp{&StampSealAnnotation}, Stamp{&StampSignatureField}}) {
      const bool field = stamp == Stamp{&StampSignatureField};
      SCOPED_TRACE(std::string(file.name) + (field ? ", signature field" : ", seal annotation"));
      inputs_.signatureMode = config::SignatureMode(field ? u"1" : u"0");
      const auto path = DamagedCopy(file.name);
      ASSERT_TRUE(OpensRepaired(path)) << "the made file must need a rebuild";
      const std::string original = ReadFileBytes(path);

      ASSERT_EQ(stamp(inputs_, Wide(path), u"123456", nullptr).Code(), 0);
      const std::string sealed = ReadFileBytes(path);
      ASSERT_GT(sealed.size(), original.size());
      EXPECT_EQ(sealed.compare(0, original.size(), original), 0) << "the original bytes must stay a prefix";
      EXPECT_FALSE(OpensRepaired(path)) << "the update's cross-reference lists every object";

      const ToolRun check = RunTool("qpdf --check " + Quote(path));
      EXPECT_TRUE(check.exitCode == 0 || check.exitCode == 3) << check.output;
      EXPECT_EQ(check.output.find("ERROR"), std::string::npos) << check.output;
      EXPECT_EQ(check.output.find("damaged"), std::string::npos) << check.output;
      if (file.encrypted) {
        // qpdf opens it with the empty user password and still finds the AES-256 encryption.
        const ToolRun encryption = RunTool("qpdf --show-encryption " + Quote(path));
        EXPECT_EQ(encryption.exitCode, 0) << encryption.output;
        EXPECT_NE(encryption.output.find("R = 6"), std::string::npos) << encryption.output;
        EXPECT_NE(encryption.output.find("User password = \n"), std::string::npos) << encryption.output;
      }
      // The earlier signature's digest still matches its revision, and the new one covers the whole file.
      const ToolRun pdfsig = RunTool("pdfsig -nocert " + Quote(path));
      const int signatures = file.earlierSignatures + (field ? 1 : 0);
      EXPECT_EQ(Count(pdfsig.output, "Signature #"), signatures) << pdfsig.output;
      EXPECT_EQ(Count(pdfsig.output, "Signature is Valid."), signatures) << pdfsig.output;
      EXPECT_EQ(Count(pdfsig.output, "Total document signed"), field ? 1 : 0) << pdfsig.output;

      const DocumentHandle document = OpenDocument(engine_, path);
      ASSERT_TRUE(document) << "opens as it did, the empty password included";
      const verify::DocumentExamination examination =
          field ? verify::ExamineSignatureFields(document.get()) : verify::ExamineSealAnnotations(document.get());
      ASSERT_FALSE(examination.seals.empty());
      const verify::SealVerdict& seal = examination.seals.back();
      EXPECT_TRUE(seal.valid) << (seal.findings.empty() ? "" : verify::FindingText(seal.findings[0]));
    }
  }
}

}  // namespace
}  // namespace sealrun::signing::testing
