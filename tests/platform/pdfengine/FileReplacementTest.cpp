// How a save replaces a file: through links, never splitting hard links, never over a file that changed since
// it was read (another run's update is never lost), with copies no wider readable than the file, staged copies
// that replace the file only on commit, and copies of killed runs cleaned up.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/platform/pdfengine/EngineFixture.h"
#include "tests/testsupport/TempDir.h"

namespace sealrun::platform::pdfengine::testing {
namespace {

namespace fs = std::filesystem;
using sealrun::testing::ReadFileBytes;

class FileReplacementTest : public EngineTest {
 protected:
  // Adds an annotation without saving.
  void AddAnnotation(qp_document document) {
    PageHandle page = LoadPage(document, 0);
    ASSERT_TRUE(page);
    qp_annot annot = qp_page_create_annotation(page.get(), QP_ANNOT_IMAGE_STAMP);
    ASSERT_NE(annot, nullptr);
    ASSERT_EQ(qp_annot_set_rect(annot, 10, 10, 40, 40), QP_OK);
  }
  int AnnotationCount(const fs::path& path) {
    DocumentHandle document = Open(path);
    PageHandle page = LoadPage(document.get(), 0);
    int count = 0;
    for (qp_annot annot = qp_page_load_annots(page.get()); annot != nullptr; annot = qp_annot_next(annot))
      ++count;
    return count;
  }
  std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  static std::string StagedPath(qp_document document) {
    int length = 0;
    if (qp_document_get_staged_path(document, nullptr, &length) != QP_ERR_BUFFER) return {};
    std::string path(static_cast<std::size_t>(length), '\0');
    if (qp_document_get_staged_path(document, path.data(), &length) != QP_OK) return {};
    path.resize(static_cast<std::size_t>(length - 1));
    return path;
  }
};

TEST_F(FileReplacementTest, ALinkKeepsPointingAtTheFileThatGetsTheUpdate) {
  const fs::path target = CopyCorpus("qpdf-minimal.pdf");
  const std::string before = ReadFileBytes(target);
  const fs::path link = temp_ / "link.pdf";
  fs::create_symlink(target, link);
  Stamp(link, 0, 10, 10, 40, 40, 0);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(fs::read_symlink(link), target);
  const std::string after = ReadFileBytes(target);
  ASSERT_GT(after.size(), before.size());
  EXPECT_EQ(after.substr(0, before.size()), before) << "an update appended to the original bytes";
  EXPECT_EQ(Names(temp_.Path()), (std::vector<std::string>{"link.pdf", "qpdf-minimal.pdf"}));
}

TEST_F(FileReplacementTest, HardLinksAreNeverSplit) {
  const fs::path file = CopyCorpus("qpdf-minimal.pdf");
  const std::string before = ReadFileBytes(file);
  const fs::path other = temp_ / "other-name.pdf";
  fs::create_hard_link(file, other);
  DocumentHandle document = Open(file);
  AddAnnotation(document.get());
  EXPECT_EQ(qp_document_save(document.get()), QP_ERR_SAVE);
  EXPECT_EQ(ReadFileBytes(file), before);
  EXPECT_EQ(fs::hard_link_count(file), 2u);
  EXPECT_EQ(Names(temp_.Path()), (std::vector<std::string>{"other-name.pdf", "qpdf-minimal.pdf"})) << "no copy left";
}

// Two runs read the same file: the first to save wins, the second finds the file changed and fails instead of
// writing its update over the first one's.
TEST_F(FileReplacementTest, AFileChangedSinceItWasReadIsNeverOverwritten) {
  const fs::path file = CopyCorpus("qpdf-minimal.pdf");
  const int annotationsBefore = AnnotationCount(file);
  DocumentHandle first = Open(file);
  DocumentHandle second = Open(file);
  AddAnnotation(first.get());
  AddAnnotation(second.get());
  ASSERT_EQ(qp_document_save(first.get()), QP_OK);
  const std::string afterFirst = ReadFileBytes(file);
  EXPECT_EQ(qp_document_save(second.get()), QP_ERR_SAVE);
  EXPECT_EQ(ReadFileBytes(file), afterFirst);
  EXPECT_EQ(AnnotationCount(file), annotationsBefore + 1);

  // A program that writes the file in place (no rename) is noticed too.
  DocumentHandle third = Open(file);
  AddAnnotation(third.get());
  { std::ofstream(file, std::ios::binary | std::ios::app) << "\n% appended by another program\n"; }
  const std::string changed = ReadFileBytes(file);
  EXPECT_EQ(qp_document_save(third.get()), QP_ERR_SAVE);
  EXPECT_EQ(ReadFileBytes(file), changed);
  EXPECT_EQ(Names(temp_.Path()), (std::vector<std::string>{"qpdf-minimal.pdf"}));
}

TEST_F(FileReplacementTest, AStagedCopyReplacesTheFileOnlyOnCommitAndIsNeverWiderReadable) {
  const fs::path file = CopyCorpus("qpdf-minimal.pdf");
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  const std::string before = ReadFileBytes(file);
  {
    // Closed without a commit: the file stays as it was and the copy goes.
    DocumentHandle document = Open(file);
    ASSERT_EQ(qp_document_set_staged(document.get(), 1), QP_OK);
    AddAnnotation(document.get());
    ASSERT_EQ(qp_document_save(document.get()), QP_OK);
    const std::string staged = StagedPath(document.get());
    ASSERT_FALSE(staged.empty());
    EXPECT_EQ(ReadFileBytes(file), before);
    struct stat info {};
    ASSERT_EQ(::stat(staged.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0077, 0u) << "group and others can read no partial copy";
    EXPECT_GT(ReadFileBytes(staged).size(), before.size());
  }
  EXPECT_EQ(ReadFileBytes(file), before);
  EXPECT_EQ(Names(temp_.Path()), (std::vector<std::string>{"qpdf-minimal.pdf"}));

  DocumentHandle document = Open(file);
  ASSERT_EQ(qp_document_set_staged(document.get(), 1), QP_OK);
  AddAnnotation(document.get());
  ASSERT_EQ(qp_document_save(document.get()), QP_OK);
  const std::string staged = ReadFileBytes(StagedPath(document.get()));
  ASSERT_EQ(qp_document_commit(document.get()), QP_OK);
  EXPECT_EQ(ReadFileBytes(file), staged);
  EXPECT_EQ(ReadFileBytes(file).substr(0, before.size()), before);
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read)
      << "the file keeps its mode";
  EXPECT_EQ(qp_document_get_staged_path(document.get(), nullptr, nullptr), QP_ERR_ARGUMENT);
  EXPECT_EQ(Names(temp_.Path()), (std::vector<std::string>{"qpdf-minimal.pdf"}));
}

TEST_F(FileReplacementTest, CopiesOfKilledRunsAreRemovedAndThoseOfLiveRunsKept) {
  const fs::path file = CopyCorpus("qpdf-minimal.pdf");
  // A process id that is surely gone: a child that has exited and been reaped.
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ASSERT_GT(child, 0);
  ASSERT_EQ(::waitpid(child, nullptr, 0), child);
  const std::string stale = "qpdf-minimal.pdf." + std::to_string(child) + ".1a2b.0.saving";
  const std::string live = "qpdf-minimal.pdf." + std::to_string(::getppid()) + ".1a2b.0.saving";
  const std::string unrelated = "notes.saving";
  for (const std::string& name : {stale, live, unrelated}) std::ofstream(temp_ / name) << "partial";
  Stamp(file, 0, 10, 10, 40, 40, 0);
  std::vector<std::string> kept{live, unrelated, "qpdf-minimal.pdf"};
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(Names(temp_.Path()), kept);
}

}  // namespace
}  // namespace sealrun::platform::pdfengine::testing
