// Revisions of real files as the engine reads them: the counts of files updated by other tools (classic
// tables, cross-reference streams, hybrid references, linearized originals), ends that are the files' own
// "%%EOF" lines and that qpdf reads as whole files, the objects of each update checked against the update's
// own cross-reference table, revisions opened as documents of their own, signatures placed in the revision
// they sign, and no answer for files whose cross-reference had to be rebuilt.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/platform/pdfengine/EngineFixture.h"

namespace sealrun::platform::pdfengine::testing {
namespace {

using sealrun::testing::ReadFileBytes;
using sealrun::testing::WriteFileBytes;

std::vector<int> RevisionObjects(qp_document document, int revision) {
  int count = 0;
  EXPECT_EQ(qp_document_revision_objects(document, revision, nullptr, &count), QP_OK);
  std::vector<int> numbers(static_cast<std::size_t>(count));
  if (count > 0) {
    EXPECT_EQ(qp_document_revision_objects(document, revision, numbers.data(), &count), QP_OK);
  }
  return numbers;
}

std::vector<int64_t> RevisionEnds(qp_document document) {
  std::vector<int64_t> ends;
  for (int revision = 0; revision < qp_document_revision_count(document); ++revision) {
    int64_t end = -1;
    EXPECT_EQ(qp_document_revision_end(document, revision, &end), QP_OK);
    ends.push_back(end);
  }
  return ends;
}

// The objects a classic cross-reference table names in use or freed, object 0 aside: read from the bytes
// of the update alone.
std::set<int> TableObjects(const std::string& update) {
  std::set<int> numbers;
  const size_t xref = update.rfind("\nxref");
  if (xref == std::string::npos) return numbers;
  static const std::regex row(R"(^(\d+) (\d+)\s*$|^(\d{10}) (\d{5}) ([nf]))");
  std::istringstream lines(update.substr(xref + 5, update.find("trailer", xref) - xref - 5));
  std::string line;
  int next = 0;
  std::smatch match;
  while (std::getline(lines, line)) {
    if (!std::regex_search(line, match, row)) continue;
    if (match[1].matched) {
      next = std::stoi(match[1]);
    } else if (next++ > 0) {
      numbers.insert(next - 1);
    }
  }
  return numbers;
}

class RevisionTest : public EngineTest {};

TEST_F(RevisionTest, CountsFollowTheUpdatesOfFilesWrittenByOtherTools) {
  const std::vector<std::pair<std::string, int>> files = {
      {"qpdf-minimal.pdf", 1},                              // one classic table
      {"pypdf-commented.pdf", 3},                           // cross-reference streams, object streams
      {"pdfjs-bug1708041.pdf", 4},                          // three updates as streams
      {"qpdf-hybrid-xref.pdf", 2},                          // hybrid references
      {"lxgw-wenkai-demo.pdf", 2},                          // hybrid references
      {"pypdf-Seige_of_Vicksburg_Sample_OCR.pdf", 1},       // linearized: two sections, one revision
      {"pdfjs-file_pdfjs_test.pdf", 3},                     // linearized, then two updates
      {"pdfjs-prefilled_f1040.pdf", 6},                     // linearized, hybrid, five updates
      {"pyhanko-pades-lta-dss-indirect-arrs-test.pdf", 5},  // signed, validation data, timestamps
  };
  for (const auto& [name, count] : files) {
    const auto document = Open(CopyCorpus(name));
    ASSERT_TRUE(document) << name;
    EXPECT_EQ(qp_document_revision_count(document.get()), count) << name;
  }
}

TEST_F(RevisionTest, FilesWhoseCrossReferenceWasRebuiltHaveNoRevisions) {
  for (const char* name :
       {"pypdf-selenium-pypdf-issue-177.pdf", "pdfjs-issue17147.pdf", "pdfjs-xref_command_missing.pdf"}) {
    const auto document = Open(CopyCorpus(name));
    ASSERT_TRUE(document) << name;
    EXPECT_EQ(qp_document_revision_count(document.get()), -1) << name;
    int64_t end = 0;
    EXPECT_EQ(qp_document_revision_end(document.get(), 0, &end), QP_ERR_NOT_FOUND) << name;
    EXPECT_EQ(qp_document_object_revision(document.get(), 1, QP_REVISION_ADDED), -1) << name;
    qp_document revision = nullptr;
    EXPECT_EQ(qp_document_open_revision(document.get(), 0, &revision), QP_ERR_NOT_FOUND) << name;
    EXPECT_EQ(revision, nullptr);
  }
}

TEST_F(RevisionTest, EachRevisionEndsWithItsOwnEndOfFileLineAndReadsAsAFileOfItsOwn) {
  for (const char* name :
       {"pypdf-commented.pdf", "pdfjs-bug1708041.pdf", "qpdf-hybrid-xref.pdf", "pdfjs-file_pdfjs_test.pdf",
        "pdfjs-prefilled_f1040.pdf", "pyhanko-pades-lta-dss-indirect-arrs-test.pdf"}) {
    const auto path = CopyCorpus(name);
    const std::string bytes = ReadFileBytes(path);
    const auto document = Open(path);
    ASSERT_TRUE(document) << name;
    const std::vector<int64_t> ends = RevisionEnds(document.get());
    ASSERT_FALSE(ends.empty()) << name;
    EXPECT_EQ(ends.back(), static_cast<int64_t>(bytes.size())) << name;
    const int pages = qp_page_count(document.get());
    for (size_t revision = 0; revision < ends.size(); ++revision) {
      const std::string prefix = bytes.substr(0, static_cast<size_t>(ends[revision]));
      EXPECT_TRUE(std::regex_search(prefix, std::regex("%%EOF\r?\n?$"))) << name << " revision " << revision;
      if (revision > 0) {
        EXPECT_LT(ends[revision - 1], ends[revision]) << name;
      }
      // qpdf, which shares nothing with the engine, reads the revision as a whole file.
      const auto alone = temp_ / ("revision-" + std::to_string(revision) + ".pdf");
      WriteFileBytes(alone, prefix);
      const ToolResult check = RunTool("qpdf --check " + Quote(alone));
      EXPECT_NE(check.exitCode, 2) << name << " revision " << revision << "\n" << check.output;
      qp_document opened = nullptr;
      ASSERT_EQ(qp_document_open_revision(document.get(), static_cast<int>(revision), &opened), QP_OK) << name;
      const DocumentHandle view(opened);
      EXPECT_GT(qp_page_count(view.get()), 0) << name << " revision " << revision;
      EXPECT_EQ(qp_document_revision_count(view.get()), static_cast<int>(revision) + 1) << name;
      if (revision + 1 == ends.size()) {
        EXPECT_EQ(qp_page_count(view.get()), pages) << name;
      }
    }
  }
}

TEST_F(RevisionTest, TheObjectsOfAnUpdateAreThoseItsCrossReferenceTableNames) {
  const auto path = CopyCorpus("pyhanko-pades-lta-dss-indirect-arrs-test.pdf");
  const std::string bytes = ReadFileBytes(path);
  const auto document = Open(path);
  ASSERT_TRUE(document);
  const std::vector<int64_t> ends = RevisionEnds(document.get());
  ASSERT_EQ(ends.size(), 5u);
  std::map<int, int> newest;  // object -> the newest revision naming it
  for (size_t revision = 0; revision < ends.size(); ++revision) {
    const size_t from = revision == 0 ? 0 : static_cast<size_t>(ends[revision - 1]);
    const std::set<int> named = TableObjects(bytes.substr(from, static_cast<size_t>(ends[revision]) - from));
    ASSERT_FALSE(named.empty()) << "revision " << revision;
    const std::vector<int> objects = RevisionObjects(document.get(), static_cast<int>(revision));
    EXPECT_EQ(std::set<int>(objects.begin(), objects.end()), named) << "revision " << revision;
    for (const int number : named) newest[number] = static_cast<int>(revision);
  }
  for (const auto& [number, revision] : newest) {
    EXPECT_EQ(qp_document_object_revision(document.get(), number, QP_REVISION_DEFINED), revision) << number;
    const int added = qp_document_object_revision(document.get(), number, QP_REVISION_ADDED);
    EXPECT_LE(added, revision) << number;
    // In use from where it was added on: the revision before that does not have it.
    if (added > 0) {
      qp_document opened = nullptr;
      ASSERT_EQ(qp_document_open_revision(document.get(), added - 1, &opened), QP_OK);
      const DocumentHandle earlier(opened);
      EXPECT_EQ(CosHandle(qp_document_object(earlier.get(), number)), nullptr) << number;
    }
  }
}

TEST_F(RevisionTest, ASignatureNamesTheRevisionItSigns) {
  const auto path = CopyCorpus("pyhanko-minimal-two-fields-signed-twice.pdf");
  const auto document = Open(path);
  ASSERT_TRUE(document);
  ASSERT_EQ(qp_document_revision_count(document.get()), 2);
  std::vector<int> signed_;
  for (qp_field field = qp_load_acroform_field(document.get()); field != nullptr; field = qp_field_next(field)) {
    const SignatureHandle signature(qp_field_get_signature(field));
    if (!signature) continue;
    int64_t range[4] = {};
    ASSERT_EQ(qp_signature_get_byte_range(signature.get(), range), QP_OK);
    signed_.push_back(qp_document_revision_ending_at(document.get(), range[2] + range[3]));
  }
  std::sort(signed_.begin(), signed_.end());
  EXPECT_EQ(signed_, (std::vector<int>{0, 1}));
  EXPECT_EQ(qp_document_revision_ending_at(document.get(), 100), -1) << "no revision ends there";
}

TEST_F(RevisionTest, ObjectsOfTwoRevisionsCompareByWhatTheyHold) {
  const auto path = CopyCorpus("pypdf-commented.pdf");
  const auto document = Open(path);
  ASSERT_TRUE(document);
  qp_document opened = nullptr;
  ASSERT_EQ(qp_document_open_revision(document.get(), 0, &opened), QP_OK);
  const DocumentHandle first(opened);
  // What the later updates wrote: at least one object they changed, every object they did not touch the same.
  std::set<int> written;
  for (int revision = 1; revision < qp_document_revision_count(document.get()); ++revision)
    for (const int number : RevisionObjects(document.get(), revision)) written.insert(number);
  int changed = 0;
  int compared = 0;
  for (int number = 1; number < 40; ++number) {
    const CosHandle before(qp_document_object(first.get(), number));
    const CosHandle now(qp_document_object(document.get(), number));
    if (!before || !now) continue;
    ++compared;
    const int same = qp_cos_same(before.get(), now.get());
    ASSERT_NE(same, -1) << number;
    if (written.count(number) == 0) {
      EXPECT_EQ(same, 1) << number;
    }
    if (same == 0) ++changed;
    EXPECT_EQ(qp_cos_same(now.get(), now.get()), 1) << number;
  }
  EXPECT_GT(compared, 5);
  EXPECT_GT(changed, 0) << "the comments were added by changing objects";
}

TEST_F(RevisionTest, PagesAreFoundByTheirObjects) {
  const auto document = Open(CopyCorpus("qpdf-rotated.pdf"));
  ASSERT_TRUE(document);
  int count = 0;
  ASSERT_EQ(qp_document_page_objects(document.get(), nullptr, &count), QP_OK);
  ASSERT_EQ(count, 20);
  std::vector<int> numbers(static_cast<size_t>(count));
  int tooFew = 3;
  EXPECT_EQ(qp_document_page_objects(document.get(), numbers.data(), &tooFew), QP_ERR_BUFFER);
  EXPECT_EQ(tooFew, 20);
  ASSERT_EQ(qp_document_page_objects(document.get(), numbers.data(), &count), QP_OK);
  for (int page = 0; page < count; ++page) {
    EXPECT_EQ(qp_document_page_index(document.get(), numbers[static_cast<size_t>(page)]), page);
    const PageHandle loaded = LoadPage(document.get(), page);
    const CosHandle dict(qp_page_object(loaded.get()));
    EXPECT_EQ(qp_cos_obj_num(dict.get()), numbers[static_cast<size_t>(page)]);
  }
  const CosHandle trailer(qp_document_trailer(document.get()));
  const CosHandle root(qp_cos_dict_gets(trailer.get(), "Root"));
  EXPECT_EQ(qp_document_page_index(document.get(), qp_cos_obj_num(root.get())), -1) << "the catalog is no page";
}

TEST_F(RevisionTest, ARevisionOpenedOnItsOwnIsNeverSaved) {
  const auto path = CopyCorpus("pdfjs-bug1708041.pdf");
  const std::string before = ReadFileBytes(path);
  const auto document = Open(path);
  ASSERT_TRUE(document);
  qp_document opened = nullptr;
  ASSERT_EQ(qp_document_open_revision(document.get(), 1, &opened), QP_OK);
  const DocumentHandle revision(opened);
  const CosHandle trailer(qp_document_trailer(revision.get()));
  const CosHandle root(qp_cos_dict_gets(trailer.get(), "Root"));
  const CosHandle flag(qp_cos_new_bool(revision.get(), 1));
  ASSERT_EQ(qp_cos_dict_puts(root.get(), "NeedsRendering", flag.get()), QP_OK);
  EXPECT_EQ(qp_document_has_unsaved_changes(revision.get()), 1);
  EXPECT_EQ(qp_document_save(revision.get()), QP_ERR_SAVE);
  EXPECT_EQ(ReadFileBytes(path), before);
  EXPECT_EQ(qp_document_has_unsaved_changes(document.get()), 0);
}

}  // namespace
}  // namespace sealrun::platform::pdfengine::testing
