// The certification level of a document: its /Perms /DocMDP signature's DocMDP /P, with the defaults and
// damage a reader meets. The certified variants are written by pikepdf (qpdf).
#include "tests/platform/pdfengine/EngineFixture.h"

namespace sealrun::platform::pdfengine::testing {
namespace {

class CertificationTest : public EngineTest {
 protected:
  int LevelOf(const std::filesystem::path& path) {
    DocumentHandle document = Open(path);
    return document ? qp_document_certification_level(document.get()) : -99;
  }

  // A copy of qpdf-minimal.pdf whose catalog carries /Perms /DocMDP with the given signature dictionary.
  std::filesystem::path Certified(const std::string& name, const std::string& signature) {
    const auto out = temp_ / name;
    const std::string script =
        "import pikepdf,sys\n"
        "pdf = pikepdf.open(sys.argv[1])\n"
        "sig = pikepdf.Dictionary(" + signature + ")\n"
        "pdf.Root.Perms = pikepdf.Dictionary(DocMDP=pdf.make_indirect(sig))\n"
        "pdf.save(sys.argv[2])\n";
    sealrun::testing::WriteFileBytes(temp_ / "certify.py", script);
    const auto run = RunTool("/usr/bin/python3 " + Quote(temp_ / "certify.py") + " " +
                             Quote(CopyCorpus("qpdf-minimal.pdf")) + " " + Quote(out));
    EXPECT_EQ(run.exitCode, 0) << run.output;
    return out;
  }
};

TEST_F(CertificationTest, LevelsOfCertifiedCorpusFilesAndFilesWithout) {
  EXPECT_EQ(LevelOf(CopyCorpus("pyhanko-certified-with-indirect-refs-in-dir.pdf")), 1);
  EXPECT_EQ(LevelOf(CopyCorpus("qpdf-minimal-signed-restricted.pdf")), 1);
  // Signed, but not certified.
  EXPECT_EQ(LevelOf(CopyCorpus("pyhanko-minimal-two-fields-signed-twice.pdf")), 0);
  EXPECT_EQ(LevelOf(CopyCorpus("qpdf-minimal.pdf")), 0);
  EXPECT_EQ(qp_document_certification_level(nullptr), -1);
}

TEST_F(CertificationTest, EachPermissionTheDefaultAndValuesThatMeanNothing) {
  const std::string reference = "Reference=[pikepdf.Dictionary(Type=pikepdf.Name.SigRef, "
                                "TransformMethod=pikepdf.Name.DocMDP, TransformParams=pikepdf.Dictionary(";
  for (int level = 1; level <= 3; ++level) {
    EXPECT_EQ(LevelOf(Certified("p" + std::to_string(level) + ".pdf",
                                reference + "P=" + std::to_string(level) + "))]")),
              level);
  }
  EXPECT_EQ(LevelOf(Certified("no-p.pdf", reference + "V=pikepdf.Name('/1.2')))]")), 2) << "/P defaults to 2";
  EXPECT_EQ(LevelOf(Certified("no-reference.pdf", "Type=pikepdf.Name.Sig")), 2);
  EXPECT_EQ(LevelOf(Certified("p7.pdf", reference + "P=7))]")), 1) << "an unknown /P allows nothing";
  EXPECT_EQ(LevelOf(Certified("p-name.pdf", reference + "P=pikepdf.Name.All))]")), 1);
  // A FieldMDP reference alone is not the document's certification level.
  EXPECT_EQ(LevelOf(Certified("fieldmdp.pdf", "Reference=[pikepdf.Dictionary(TransformMethod=pikepdf.Name.FieldMDP, "
                                              "TransformParams=pikepdf.Dictionary(P=1))]")),
            2);
}

}  // namespace
}  // namespace sealrun::platform::pdfengine::testing
