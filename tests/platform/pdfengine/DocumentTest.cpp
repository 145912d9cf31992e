// Opening, saving and permissions of real-world files, cross-checked with qpdf.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <regex>
#include <set>
#include <thread>

#include "tests/platform/pdfengine/EngineFixture.h"
#include "tests/platform/pdfengine/AppendedUpdate.h"

namespace sealrun::platform::pdfengine::testing {
namespace {

using sealrun::testing::ReadFileBytes;
using sealrun::testing::WriteFileBytes;

class DocumentTest : public EngineTest {};

int QpdfPageCount(const std::filesystem::path& path) {
  const ToolResult run = RunTool("qpdf --show-npages " + Quote(path));
  if (run.exitCode != 0 && run.exitCode != 3) return -1;
  // Warnings about a rebuilt cross-reference come along; the count is the line of digits.
  static const std::regex count(R"((?:^|\n)(\d+)\n)");
  std::smatch match;
  return std::regex_search(run.output, match, count) ? std::stoi(match[1]) : -1;
}

TEST_F(DocumentTest, EveryCorpusFileOpensWithQpdfsPageCountAndStaysUntouched) {
  int opened = 0;
  for (const auto& entry : std::filesystem::directory_iterator(sealrun::testing::CorpusDir())) {
    if (entry.path().extension() != ".pdf") continue;
    const std::string name = entry.path().filename().string();
    const std::string before = ReadFileBytes(entry.path());
    qp_document raw = nullptr;
    const int result = qp_document_open(engine_, &raw, entry.path().string().c_str());
    DocumentHandle document(raw);
    if (name == "qpdf-enc-R3-V2-U-view-O-master.pdf") {
      EXPECT_EQ(result, QP_ERR_PASSWORD) << name;  // needs the user password "view"
    } else {
      ASSERT_EQ(result, QP_OK) << name;
      EXPECT_EQ(qp_page_count(document.get()), QpdfPageCount(entry.path())) << name;
      ++opened;
    }
    document.reset();
    EXPECT_EQ(ReadFileBytes(entry.path()), before) << name;
  }
  EXPECT_GE(opened, 50);
}

TEST_F(DocumentTest, SaveAppendsOneUpdateWithNewObjectsAboveTheOldOnes) {
  for (const char* name : {"pdfjs-tracemonkey.pdf", "pypdf-crazyones.pdf", "qpdf-hybrid-xref.pdf",
                           "pdfjs-issue14497.pdf", "pdfjs-issue14438.pdf"}) {
    SCOPED_TRACE(name);
    const auto path = CopyCorpus(name);
    const std::string before = ReadFileBytes(path);
    const int highest = HighestObjectNumber(path);
    ASSERT_GT(highest, 0);
    const int pageObject = PageObjectNumber(path, 0);
    Stamp(path, 0, 50, 50, 150, 120, 0);
    const std::string after = ReadFileBytes(path);
    ASSERT_GT(after.size(), before.size());
    EXPECT_EQ(after.compare(0, before.size(), before), 0) << "the original bytes changed";
    const auto written = ObjectsWrittenBy(after.substr(before.size()));
    ASSERT_FALSE(written.empty());
    for (int number : written) {
      // Only new objects and the page (whose /Annots grew) may appear in the update.
      EXPECT_TRUE(number > highest || number == pageObject || IsAnnotsArrayOf(path, 0, number)) << number;
    }
    const ToolResult check = RunTool("qpdf --check " + Quote(path));
    EXPECT_TRUE(check.exitCode == 0 || check.exitCode == 3) << check.output;
    EXPECT_EQ(check.output.find("ERROR"), std::string::npos) << check.output;
  }
}

TEST_F(DocumentTest, ReadingAndSavingWithoutChangesLeavesTheFileIdentical) {
  // Pages with widgets and annotations whose appearances a viewer would synthesize.
  for (const char* name : {"pypdf-crazyones.pdf", "pdfjs-160F-2019.pdf", "qpdf-overlay-copy-annotations.pdf"}) {
    SCOPED_TRACE(name);
    const auto path = CopyCorpus(name);
    const std::string before = ReadFileBytes(path);
    {
      DocumentHandle document = Open(path);
      ASSERT_TRUE(document);
      for (int i = 0; i < qp_page_count(document.get()) && i < 4; ++i) {
        PageHandle page = LoadPage(document.get(), i);
        qp_text text = nullptr;
        ASSERT_EQ(qp_page_load_text(page.get(), &text, nullptr, 0), QP_OK);
        qp_page_close_text(text);
        for (qp_annot a = qp_page_load_annots(page.get()); a != nullptr; a = qp_annot_next(a)) qp_annot_get_subtype(a);
        ASSERT_EQ(qp_document_update_page(document.get(), i, 1), QP_OK);
      }
      ASSERT_EQ(qp_document_save(document.get()), QP_OK);
    }
    EXPECT_EQ(ReadFileBytes(path), before);
  }
}

TEST_F(DocumentTest, BadInputFailsWithACodeAndChangesNothing) {
  const std::string pdf = ReadFileBytes(sealrun::testing::CorpusFile("pdfjs-tracemonkey.pdf"));
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"text.pdf", "This is not a PDF file at all.\n"},
      {"empty.pdf", ""},
      {"truncated.pdf", pdf.substr(0, 300)},
      {"header-only.pdf", "%PDF-1.7\n%%EOF\n"},
      {"absurd.pdf", "%PDF-1.4\n1 0 obj <</Type/Catalog/Pages 2 0 R>> endobj\n2 0 obj <</Type/Pages/Count 2147483647"
                     "/Kids[2 0 R 2 0 R]>> endobj\nxref\n0 99999999\ntrailer <</Size 99999999/Root 1 0 R>>\n"
                     "startxref\n9999999999\n%%EOF\n"},
  };
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    const auto path = temp_ / name;
    WriteFileBytes(path, bytes);
    qp_document raw = nullptr;
    const int result = qp_document_open(engine_, &raw, path.string().c_str());
    DocumentHandle document(raw);
    if (result == QP_OK) {
      // A repaired file may open; walking it and saving must still be safe.
      const int pages = qp_page_count(document.get());
      for (int i = 0; i < pages && i < 3; ++i) {
        qp_page page = nullptr;
        if (qp_load_page(document.get(), i, &page) == QP_OK) qp_free_page(page);
      }
    } else {
      EXPECT_NE(result, QP_OK);
    }
    document.reset();
    EXPECT_EQ(ReadFileBytes(path), bytes);
  }
  qp_document raw = nullptr;
  EXPECT_EQ(qp_document_open(engine_, &raw, (temp_ / "missing.pdf").string().c_str()), QP_ERR_OPEN);
  EXPECT_EQ(qp_document_close(raw), QP_OK);
  EXPECT_EQ(qp_document_open(engine_, &raw, nullptr), QP_ERR_ARGUMENT);
}

// A rebuilt cross-reference cannot be continued, and writing the file out whole would lose its original bytes
// (and break any signature in it): the update appended to it lists every object itself, so the file keeps its
// bytes as a prefix and reads from its end alone, without a rebuild.
TEST_F(DocumentTest, DamagedXrefIsRepairedOnOpenAndContinuedByACompleteUpdate) {
  for (const char* name : {"pypdf-selenium-pypdf-issue-177.pdf", "pdfjs-issue17147.pdf", "pdfjs-xref_command_missing.pdf",
                           "pdfjs-filled-background.pdf"}) {
    SCOPED_TRACE(name);
    const auto path = CopyCorpus(name);
    const std::string before = ReadFileBytes(path);
    const int pages = QpdfPageCount(path);
    {
      DocumentHandle document = Open(path);
      ASSERT_TRUE(document);
      ASSERT_EQ(qp_document_was_repaired(document.get()), 1);
      EXPECT_EQ(qp_page_count(document.get()), pages) << "repaired on open, as readers do";
      PageHandle page = LoadPage(document.get(), 0);
      qp_annot annot = qp_page_create_annotation(page.get(), QP_ANNOT_IMAGE_STAMP);
      ASSERT_NE(annot, nullptr);
      ASSERT_EQ(qp_annot_set_rect(annot, 10, 10, 40, 40), QP_OK);
      page.reset();
      ASSERT_EQ(qp_document_save(document.get()), QP_OK);
      EXPECT_EQ(qp_document_was_repaired(document.get()), 0) << "read back from the update's cross-reference";
    }
    const std::string after = ReadFileBytes(path);
    ASSERT_GT(after.size(), before.size());
    EXPECT_EQ(after.compare(0, before.size(), before), 0) << "the original bytes changed";
    // Read from the update's cross-reference, with the stream lengths the rebuild measured, qpdf finds nothing
    // to warn about.
    const ToolResult check = RunTool("qpdf --check " + Quote(path));
    EXPECT_EQ(check.exitCode, 0) << check.output;
    EXPECT_EQ(QpdfPageCount(path), pages);
    DocumentHandle reopened = Open(path);
    ASSERT_TRUE(reopened);
    EXPECT_EQ(qp_document_was_repaired(reopened.get()), 0);
    PageHandle page = LoadPage(reopened.get(), 0);
    int annots = 0;
    for (qp_annot a = qp_page_load_annots(page.get()); a != nullptr; a = qp_annot_next(a)) ++annots;
    EXPECT_GE(annots, 1) << "the stamp is in the update";
    page.reset();
    reopened.reset();
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(path.parent_path())) ++files;
    EXPECT_EQ(files, 1) << "a copy was left behind";
    std::filesystem::remove(path);
  }
}

struct PermissionCase {
  const char* encryption;  // qpdf --encrypt arguments after the passwords
  int revision;
};

TEST_F(DocumentTest, PermissionsAndRevisionOfFilesMadeByQpdf) {
  const PermissionCase cases[] = {
      {"40 --print=n --modify=n", 2},
      {"128 --use-aes=n --print=none --modify=none --extract=n", 3},
      {"128 --use-aes=y --modify=form --annotate=n", 4},
      {"256 --modify=annotate --assemble=n", 6},
  };
  const auto source = CopyCorpus("pypdf-crazyones.pdf");
  for (const auto& testCase : cases) {
    SCOPED_TRACE(testCase.encryption);
    const auto path = temp_ / "encrypted.pdf";
    std::filesystem::remove(path);
    const ToolResult made = RunTool(std::string("qpdf --allow-weak-crypto --encrypt '' owner ") + testCase.encryption +
                                    " -- " + Quote(source) + " " + Quote(path));
    ASSERT_EQ(made.exitCode, 0) << made.output;
    const ToolResult shown = RunTool("qpdf --show-encryption " + Quote(path));
    DocumentHandle document = Open(path);
    ASSERT_TRUE(document);
    EXPECT_EQ(qp_document_crypt_revision(document.get()), testCase.revision);
    auto allowed = [&](const std::string& label) {
      return shown.output.find(label + ": allowed") != std::string::npos;
    };
    EXPECT_EQ(qp_document_has_permissions(document.get(), 4), allowed("print low resolution") ? 1 : 0);
    EXPECT_EQ(qp_document_has_permissions(document.get(), 8), allowed("modify other") ? 1 : 0);
    EXPECT_EQ(qp_document_has_permissions(document.get(), 16), allowed("extract for any purpose") ? 1 : 0);
    EXPECT_EQ(qp_document_has_permissions(document.get(), 32), allowed("modify annotations") ? 1 : 0);
    if (testCase.revision >= 3) {
      EXPECT_EQ(qp_document_has_permissions(document.get(), 256), allowed("modify forms") ? 1 : 0);
      EXPECT_EQ(qp_document_has_permissions(document.get(), 1024), allowed("modify document assembly") ? 1 : 0);
    }
  }
  DocumentHandle plain = Open(source);
  ASSERT_TRUE(plain);
  EXPECT_EQ(qp_document_crypt_revision(plain.get()), 0);
  for (int bit : {4, 8, 16, 32, 256, 512, 1024, 2048}) EXPECT_EQ(qp_document_has_permissions(plain.get(), bit), 1);
}

TEST_F(DocumentTest, SavingAnEncryptedFileEncryptsTheNewObjects) {
  const char* marker = "sealrun-private-marker";
  for (const char* name : {"pypdf-r2-empty-password.pdf", "qpdf-enc-R3-V2.pdf", "qpdf-V4-aes.pdf", "pypdf-r6-empty-password.pdf"}) {
    SCOPED_TRACE(name);
    const auto path = CopyCorpus(name);
    int annotNumber = 0;
    {
      DocumentHandle document = Open(path);
      ASSERT_TRUE(document);
      PageHandle page = LoadPage(document.get(), 0);
      qp_annot annot = qp_page_create_annotation(page.get(), QP_ANNOT_IMAGE_STAMP);
      ASSERT_NE(annot, nullptr);
      ASSERT_EQ(qp_annot_set_rect(annot, 20, 20, 60, 60), QP_OK);
      qp_cos dict = qp_annot_get_cosobject(annot);
      qp_cos text = qp_cos_new_string(document.get(), marker, static_cast<int>(std::strlen(marker)), 0);
      ASSERT_EQ(qp_cos_dict_puts(dict, "Contents", text), QP_OK);
      annotNumber = qp_cos_obj_num(dict);
      ImageHandle image = TwoToneImage(document.get(), 8, 8);
      ASSERT_EQ(qp_annot_set_image_appearance_from_handle(annot, image.get()), QP_OK);
      page.reset();
      ASSERT_EQ(qp_document_save(document.get()), QP_OK);
    }
    EXPECT_EQ(ReadFileBytes(path).find(marker), std::string::npos) << "new string written in clear";
    const ToolResult check = RunTool("qpdf --check " + Quote(path));
    EXPECT_TRUE(check.exitCode == 0 || check.exitCode == 3) << check.output;
    const ToolResult shown = RunTool("qpdf --show-object=" + std::to_string(annotNumber) + " " + Quote(path));
    EXPECT_NE(shown.output.find(marker), std::string::npos) << shown.output;
  }
}

TEST_F(DocumentTest, SaveKeepsTheFileModeAndLeavesNoCopyBehind) {
  const auto path = CopyCorpus("qpdf-minimal.pdf");
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  Stamp(path, 0, 10, 10, 50, 50, 0);
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  int files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(temp_.Path())) ++files;
  EXPECT_EQ(files, 1);
}

TEST_F(DocumentTest, AReadOnlyFileIsNotReplaced) {
  const auto path = CopyCorpus("qpdf-minimal.pdf");
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  const std::string before = ReadFileBytes(path);
  DocumentHandle document = Open(path);
  PageHandle page = LoadPage(document.get(), 0);
  qp_annot annot = qp_page_create_annotation(page.get(), QP_ANNOT_IMAGE_STAMP);
  ASSERT_EQ(qp_annot_set_rect(annot, 10, 10, 50, 50), QP_OK);
  EXPECT_EQ(qp_document_save(document.get()), QP_ERR_SAVE);
  EXPECT_EQ(ReadFileBytes(path), before);
}

TEST_F(DocumentTest, ASaveKilledAtAnyMomentLeavesTheOldFileOrTheNewOne) {
  const auto path = CopyCorpus("pdfjs-tracemonkey.pdf");
  const std::string original = ReadFileBytes(path);
  int completed = 0;
  int untouched = 0;
  for (int round = 0; round < 16; ++round) {
    WriteFileBytes(path, original);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      qp_engine engine = nullptr;
      qp_document document = nullptr;
      qp_page page = nullptr;
      if (qp_startup(&engine, 0x20000000, 0, 0, 0) != QP_OK) ::_exit(2);
      if (qp_document_open(engine, &document, path.string().c_str()) != QP_OK) ::_exit(3);
      if (qp_load_page(document, 0, &page) != QP_OK) ::_exit(4);
      qp_annot annot = qp_page_create_annotation(page, QP_ANNOT_IMAGE_STAMP);
      qp_annot_set_rect(annot, 10, 10, 90, 90);
      const int saved = qp_document_save(document);
      ::_exit(saved == QP_OK ? 0 : 5);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(round * 1500));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    const std::string now = ReadFileBytes(path);
    if (now == original) {
      ++untouched;
      continue;
    }
    ++completed;
    ASSERT_GT(now.size(), original.size());
    EXPECT_EQ(now.compare(0, original.size(), original), 0);
    const ToolResult check = RunTool("qpdf --check " + Quote(path));
    EXPECT_EQ(check.exitCode, 0) << check.output;
  }
  // Leftover copies of killed saves are the only trace; the file itself is always whole.
  EXPECT_EQ(completed + untouched, 16);
}

}  // namespace
}  // namespace sealrun::platform::pdfengine::testing
