// qp_load_page over page trees of every shape: nested nodes give the pages in order, as the references the
// tree holds; a tree whose counts do not add up gives exactly the pages the engine's lookup gives, failures
// included; a tree changed in memory gives the changed tree's pages.
#include <cstdio>
#include <vector>

#include "tests/platform/pdfengine/EngineFixture.h"

namespace sealrun::platform::pdfengine::testing {
namespace {

using sealrun::testing::WriteFileBytes;

// A file of the given objects (number i+1 is objects[i], generation 0 unless listed in `generation`), with
// object 1 as the catalogue, and a classic cross-reference table.
std::string FileOf(const std::vector<std::string>& objects, int generationOf = 0, int generation = 0) {
  std::string bytes = "%PDF-1.7\n";
  std::vector<std::size_t> offsets;
  for (std::size_t i = 0; i < objects.size(); ++i) {
    const int number = static_cast<int>(i) + 1;
    offsets.push_back(bytes.size());
    bytes += std::to_string(number) + " " + std::to_string(number == generationOf ? generation : 0) + " obj\n" +
             objects[i] + "\nendobj\n";
  }
  const std::size_t xref = bytes.size();
  bytes += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (std::size_t i = 0; i < offsets.size(); ++i) {
    char line[32];
    const int number = static_cast<int>(i) + 1;
    std::snprintf(line, sizeof line, "%010zu %05d n \n", offsets[i], number == generationOf ? generation : 0);
    bytes += line;
  }
  bytes += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
  return bytes;
}

std::string PageObject(int parent) {
  return "<< /Type /Page /Parent " + std::to_string(parent) + " 0 R /MediaBox [0 0 200 200] >>";
}

class PageTreeTest : public EngineTest {
 protected:
  DocumentHandle OpenObjects(const std::vector<std::string>& objects, int generationOf = 0, int generation = 0) {
    const auto path = temp_ / ("tree" + std::to_string(++files_) + ".pdf");
    WriteFileBytes(path, FileOf(objects, generationOf, generation));
    return Open(path);
  }

  // The object number of each page in the order asked, 0 for a page that does not load; each page object
  // is checked to be the reference the tree holds.
  std::vector<int> PageNumbers(qp_document document, const std::vector<int>& order) {
    std::vector<int> numbers;
    for (const int index : order) {
      qp_page raw = nullptr;
      if (qp_load_page(document, index, &raw) != QP_OK) {
        numbers.push_back(0);
        continue;
      }
      const PageHandle page(raw);
      qp_cos object = qp_page_object(page.get());
      EXPECT_EQ(qp_cos_is_indirect(object), 1) << "page " << index;
      EXPECT_EQ(qp_cos_is_dict(object), 1) << "page " << index;
      numbers.push_back(qp_cos_obj_num(object));
    }
    return numbers;
  }

  int files_ = 0;
};

// Root 2: [3, node 4: [5, node 6: [7, 8]], 9]. Page 8 is written with generation 2.
std::vector<std::string> NestedTree(int innerCount, int middleCount) {
  return {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R 4 0 R 9 0 R] /Count 5 >>",
      PageObject(2),
      "<< /Type /Pages /Parent 2 0 R /Kids [5 0 R 6 0 R] /Count " + std::to_string(middleCount) + " >>",
      PageObject(4),
      // No /Type: a node by its /Kids and the missing /MediaBox, as the engine's lookup tells them.
      "<< /Parent 4 0 R /Kids [7 0 R 8 2 R] /Count " + std::to_string(innerCount) + " >>",
      PageObject(6),
      PageObject(6),
      PageObject(2),
  };
}

TEST_F(PageTreeTest, NestedNodesGiveThePagesInOrderWhicheverPageIsAskedFirst) {
  const DocumentHandle document = OpenObjects(NestedTree(2, 3), 8, 2);
  ASSERT_TRUE(document);
  ASSERT_EQ(qp_page_count(document.get()), 5);
  EXPECT_EQ(PageNumbers(document.get(), {4, 3, 2, 1, 0}), (std::vector<int>{9, 8, 7, 5, 3}));
  EXPECT_EQ(PageNumbers(document.get(), {0, 1, 2, 3, 4}), (std::vector<int>{3, 5, 7, 8, 9}));
  EXPECT_EQ(PageNumbers(document.get(), {5, -1}), (std::vector<int>{0, 0}));
}

// Node 4 counts one page where it has three: the lookup skips it after its first page and runs out of pages
// before the last two.
TEST_F(PageTreeTest, CountsThatDoNotAddUpGiveWhatTheLookupGives) {
  const DocumentHandle document = OpenObjects(NestedTree(2, 1));
  ASSERT_TRUE(document);
  EXPECT_EQ(PageNumbers(document.get(), {0, 1, 2, 3, 4}), (std::vector<int>{3, 5, 9, 0, 0}));
}

// The root's /Count is a claim: the document has the pages the tree holds when it claims more (a hostile file
// claims two billion, and every loop over the pages would run that long), and the pages it claims when it
// claims fewer, as the lookup reaches no further.
TEST_F(PageTreeTest, ThePageCountIsNeverMoreThanTheTreeHolds) {
  std::vector<std::string> claimsMore = NestedTree(2, 3);
  claimsMore[1] = "<< /Type /Pages /Kids [3 0 R 4 0 R 9 0 R] /Count 2147483647 >>";
  const DocumentHandle more = OpenObjects(claimsMore);
  ASSERT_TRUE(more);
  EXPECT_EQ(qp_page_count(more.get()), 5);
  EXPECT_EQ(PageNumbers(more.get(), {0, 4, 5}), (std::vector<int>{3, 9, 0}));

  std::vector<std::string> claimsFewer = NestedTree(2, 3);
  claimsFewer[1] = "<< /Type /Pages /Kids [3 0 R 4 0 R 9 0 R] /Count 2 >>";
  const DocumentHandle fewer = OpenObjects(claimsFewer);
  ASSERT_TRUE(fewer);
  EXPECT_EQ(qp_page_count(fewer.get()), 2);
}

TEST_F(PageTreeTest, ATreeThatContainsItselfGivesAResultCode) {
  const DocumentHandle document = OpenObjects({
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 3 >>",
      PageObject(2),
      "<< /Type /Pages /Parent 2 0 R /Kids [2 0 R] /Count 2 >>",
  });
  ASSERT_TRUE(document);
  // The tree is not indexed; the lookup stops at the loop or meets page 3 again, never another object.
  const std::vector<int> numbers = PageNumbers(document.get(), {0, 1, 2});
  EXPECT_EQ(numbers[0], 3);
  for (const int number : numbers) EXPECT_TRUE(number == 0 || number == 3) << number;
}

TEST_F(PageTreeTest, APageAddedInMemoryIsFoundAfterTheTreeWasRead) {
  const DocumentHandle document = OpenObjects(NestedTree(2, 3));
  ASSERT_TRUE(document);
  ASSERT_EQ(PageNumbers(document.get(), {4}), (std::vector<int>{9}));

  const qp_document doc = document.get();
  qp_page raw = nullptr;
  ASSERT_EQ(qp_load_page(doc, 0, &raw), QP_OK);
  const PageHandle first(raw);
  const CosHandle tree(qp_cos_dict_gets(qp_page_object(first.get()), "Parent"));
  ASSERT_TRUE(tree);
  const CosHandle added(qp_cos_new_dict(doc, 3, 1));
  const CosHandle type(qp_cos_new_name(doc, "Page"));
  ASSERT_EQ(qp_cos_dict_puts(added.get(), "Type", type.get()), QP_OK);
  ASSERT_EQ(qp_cos_dict_puts(added.get(), "Parent", tree.get()), QP_OK);
  const CosHandle kids(qp_cos_dict_gets(tree.get(), "Kids"));
  ASSERT_EQ(qp_cos_array_push(kids.get(), added.get()), QP_OK);
  const CosHandle count(qp_cos_new_int(doc, 6));
  ASSERT_EQ(qp_cos_dict_puts(tree.get(), "Count", count.get()), QP_OK);

  ASSERT_EQ(qp_page_count(doc), 6);
  const std::vector<int> numbers = PageNumbers(doc, {0, 1, 2, 3, 4, 5});
  EXPECT_EQ(numbers, (std::vector<int>{3, 5, 7, 8, 9, qp_cos_obj_num(added.get())}));
  EXPECT_GT(numbers[5], 9);
}

// Kids the engine has not read are told apart from their source; the answers must be the engine's own, also
// where the source cannot decide (a /Type that is a reference or no name) and where a null entry counts as none.
TEST_F(PageTreeTest, KidsReadFromTheirSourceAreToldApartAsTheEngineTellsThem) {
  const std::vector<std::string> objects = {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R 6 0 R 7 0 R 8 0 R] /Count 6 >>",
      "<< /Type null /Parent 2 0 R /Kids [9 0 R] /Count 1 >>",        // a node: no type, kids, no box
      "<< /Type 10 0 R /Parent 2 0 R /Kids [11 0 R] /Count 1 >>",     // a node typed through a reference
      "<< /Parent 2 0 R /Kids [12 0 R] /MediaBox [0 0 9 9] /Count 1 >>",  // a box: a page
      "<< /Parent 2 0 R /Kids null /Count 0 >>",                      // null kids are none: a page
      PageObject(2),
      "<< /Type (Pages) /Parent 2 0 R /Kids [13 0 R] /Count 1 >>",    // a type that is no name: a page
      PageObject(3),
      "/Pages",
      PageObject(4),
      PageObject(5),
      PageObject(8),
  };
  const std::vector<int> expected{9, 11, 5, 6, 7, 8};
  const DocumentHandle fresh = OpenObjects(objects);
  ASSERT_TRUE(fresh);
  EXPECT_EQ(qp_page_count(fresh.get()), 6);
  EXPECT_EQ(PageNumbers(fresh.get(), {0, 1, 2, 3, 4, 5}), expected);

  // The same tree with every object read by the engine first.
  const DocumentHandle loaded = OpenObjects(objects);
  ASSERT_TRUE(loaded);
  for (int number = 1; number <= static_cast<int>(objects.size()); ++number) {
    const CosHandle object(qp_document_object(loaded.get(), number));
    ASSERT_TRUE(object) << number;
    ASSERT_GE(qp_cos_dict_len(object.get()) + qp_cos_is_name(object.get()), 1) << number;
  }
  EXPECT_EQ(qp_page_count(loaded.get()), 6);
  EXPECT_EQ(PageNumbers(loaded.get(), {0, 1, 2, 3, 4, 5}), expected);
}

// A page's entries read from its source, before the engine reads the page, are what the engine gives after.
TEST_F(PageTreeTest, PageEntriesReadBeforeThePageIsLoadedAreTheEngines) {
  const DocumentHandle document = OpenObjects(
      {
          "<< /Type /Catalog /Pages 2 0 R >>",
          "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>",
          "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 5 1 R /Resources << /ProcSet [/PDF] >>"
          " /Rotate null >>",
          "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Annots [<< /Type /Annot /Subtype /Text"
          " /Rect [10 10 20 20] >>] >>",
          "<< /Length 0 >>\nstream\n\nendstream",
      },
      5, 1);
  ASSERT_TRUE(document);
  const qp_document doc = document.get();
  qp_page rawFirst = nullptr;
  qp_page rawSecond = nullptr;
  ASSERT_EQ(qp_load_page(doc, 0, &rawFirst), QP_OK);
  ASSERT_EQ(qp_load_page(doc, 1, &rawSecond), QP_OK);
  const PageHandle first(rawFirst);
  const PageHandle second(rawSecond);
  qp_cos page = qp_page_object(first.get());

  struct Entries {
    int contents = 0;
    bool resourcesDict = false;
    bool rotate = false;
    bool missing = false;
    int firstAnnots = 0;
    int secondAnnots = 0;
  };
  const auto read = [&] {
    Entries entries;
    const CosHandle contents(qp_cos_dict_gets(page, "Contents"));
    entries.contents = contents && qp_cos_is_indirect(contents.get()) ? qp_cos_obj_num(contents.get()) : -1;
    const CosHandle resources(qp_cos_dict_gets(page, "Resources"));
    entries.resourcesDict = resources && qp_cos_is_dict(resources.get());
    entries.rotate = CosHandle(qp_cos_dict_gets(page, "Rotate")) != nullptr;
    entries.missing = CosHandle(qp_cos_dict_gets(page, "Missing")) != nullptr;
    for (qp_annot a = qp_page_load_annots(first.get()); a != nullptr; a = qp_annot_next(a)) ++entries.firstAnnots;
    for (qp_annot a = qp_page_load_annots(second.get()); a != nullptr; a = qp_annot_next(a)) ++entries.secondAnnots;
    return entries;
  };
  const Entries before = read();
  EXPECT_EQ(before.contents, 5);
  EXPECT_TRUE(before.resourcesDict);
  EXPECT_FALSE(before.rotate);
  EXPECT_FALSE(before.missing);
  EXPECT_EQ(before.firstAnnots, 0);
  EXPECT_EQ(before.secondAnnots, 1);

  // The engine reads the page now (its length comes from its parsed dictionary); the answers stay the same.
  ASSERT_GE(qp_cos_dict_len(page), 5);
  const Entries after = read();
  EXPECT_EQ(after.contents, before.contents);
  EXPECT_EQ(after.resourcesDict, before.resourcesDict);
  EXPECT_EQ(after.rotate, before.rotate);
  EXPECT_EQ(after.missing, before.missing);
  EXPECT_EQ(after.firstAnnots, before.firstAnnots);
}

}  // namespace
}  // namespace sealrun::platform::pdfengine::testing
