// Documents and pages of real files through the object model: sizes and rotations as poppler reports
// them, the active document, failures to open, annotations of a commented file and hit tests.
#include <map>
#include <regex>

#include "platform/com/Bstr.h"
#include "tests/platform/host/HostTestSupport.h"

namespace sealrun::platform::host::testing {
namespace {

using com::ComPtr;

struct PopplerPage {
  double width = 0;
  double height = 0;
  int rotate = 0;
};

// Page sizes (CropBox, before rotation) and rotations as pdfinfo reports them.
std::vector<PopplerPage> PopplerPages(const std::filesystem::path& pdf) {
  const ToolResult info = RunTool("pdfinfo -f 1 -l 9999 " + Quote(pdf));
  std::vector<PopplerPage> pages;
  const std::regex size(R"(Page +(\d+) size: +([0-9.]+) x ([0-9.]+) pts)");
  const std::regex rot(R"(Page +(\d+) rot: +(\d+))");
  std::smatch match;
  std::string rest = info.output;
  for (auto it = std::sregex_iterator(rest.begin(), rest.end(), size); it != std::sregex_iterator(); ++it)
    pages.push_back({std::stod((*it)[2]), std::stod((*it)[3]), 0});
  for (auto it = std::sregex_iterator(rest.begin(), rest.end(), rot); it != std::sregex_iterator(); ++it)
    pages[static_cast<size_t>(std::stoi((*it)[1]) - 1)].rotate = std::stoi((*it)[2]);
  return pages;
}

class DocumentTest : public HostTest {
 protected:
  void SetUp() override { ASSERT_EQ(driver.Start(SettingsWith({})), com::S_OK); }

  ComPtr<external::IHostDocuments> Documents() {
    ComPtr<external::IHostDocuments> documents;
    EXPECT_EQ(driver.Host().Application()->get_Documents(documents.Out()), com::S_OK);
    return documents;
  }
  ComPtr<external::IHostDocument> Open(const std::filesystem::path& path) {
    ComPtr<external::IHostDocument> document;
    const com::Variant name(U16(path));
    const com::Variant missing = com::Variant::Missing();
    EXPECT_EQ(Documents()->Open(*name.Get(), *missing.Get(), *missing.Get(), *missing.Get(), document.Out()),
              com::S_OK);
    return document;
  }

  HostDriver driver;
};

TEST_F(DocumentTest, PageSizesAndRotationsMatchPoppler) {
  for (const char* name : {"qpdf-rotated.pdf", "qpdf-boxes.pdf", "qpdf-inherited-rotate.pdf", "pdfjs-sizes.pdf"}) {
    SCOPED_TRACE(name);
    const auto path = CopyCorpus(name);
    const std::vector<PopplerPage> expected = PopplerPages(path);
    ASSERT_FALSE(expected.empty());
    const auto document = Open(path);
    ASSERT_TRUE(document);
    ComPtr<external::IHostPages> pages;
    ASSERT_EQ(document->get_Pages(pages.Out()), com::S_OK);
    com::LONG count = 0;
    pages->get_Count(&count);
    ASSERT_EQ(static_cast<size_t>(count), expected.size());
    for (com::LONG i = 0; i < count; ++i) {
      SCOPED_TRACE(i);
      ComPtr<external::IHostPage> page;
      ASSERT_EQ(pages->Item(i, page.Out()), com::S_OK);
      double width = 0;
      double height = 0;
      com::LONG rotation = -1;
      page->get_Width(&width);
      page->get_Height(&height);
      page->get_Rotation(&rotation);
      const PopplerPage& want = expected[static_cast<size_t>(i)];
      EXPECT_EQ(rotation, want.rotate);
      const bool sideways = want.rotate % 180 != 0;
      EXPECT_NEAR(width, sideways ? want.height : want.width, 0.01);
      EXPECT_NEAR(height, sideways ? want.width : want.height, 0.01);
    }
    ComPtr<external::IHostPage> beyond;
    EXPECT_EQ(pages->Item(count, beyond.Out()), com::S_FALSE);
    EXPECT_FALSE(beyond);
  }
}

TEST_F(DocumentTest, ActiveDocumentFollowsOpeningAndClosing) {
  ComPtr<external::IHostDocument> none;
  EXPECT_EQ(Documents()->get_ActiveDocument(none.Out()), com::S_FALSE);
  EXPECT_FALSE(none);
  const auto first = CopyCorpus("qpdf-minimal.pdf");
  const auto second = CopyCorpus("qpdf-rotated.pdf");
  const auto a = Open(first);
  const auto b = Open(second);
  ComPtr<external::IHostDocument> active;
  Documents()->get_ActiveDocument(active.Out());
  EXPECT_TRUE(com::IsSameObject(active.Get(), b.Get()));
  // Opening a file that is open activates it rather than opening it twice.
  const auto again = Open(first);
  EXPECT_TRUE(com::IsSameObject(again.Get(), a.Get()));
  com::LONG count = 0;
  Documents()->get_Count(&count);
  EXPECT_EQ(count, 2);
  com::Bstr fullName;
  again->get_FullName(fullName.Out());
  EXPECT_EQ(fullName.ToU16String(), U16(first));
  // A closed document's objects refuse further work instead of touching freed engine state.
  ComPtr<external::IHostPages> pages;
  a->get_Pages(pages.Out());
  ASSERT_TRUE(driver.Host().CloseDocument(U16(first)));
  ComPtr<external::IHostPage> page;
  EXPECT_EQ(pages->Item(0, page.Out()), com::E_UNEXPECTED);
  Documents()->get_ActiveDocument(active.Out());
  EXPECT_TRUE(com::IsSameObject(active.Get(), b.Get()));
}

TEST_F(DocumentTest, FilesThatDoNotOpenGiveNoDocument) {
  const auto garbage = Dir() / "garbage.pdf";
  sealrun::testing::WriteFileBytes(garbage, "not a PDF at all");
  for (const auto& path : {garbage, Dir() / "missing.pdf"}) {
    ComPtr<external::IHostDocument> document;
    const com::Variant name(U16(path));
    const com::Variant missing = com::Variant::Missing();
    EXPECT_TRUE(com::FAILED(Documents()->Open(*name.Get(), *missing.Get(), *missing.Get(), *missing.Get(),
                                              document.Out())));
    EXPECT_FALSE(document);
  }
  ComPtr<external::IHostDocument> active;
  Documents()->get_ActiveDocument(active.Out());
  EXPECT_FALSE(active);
}

TEST_F(DocumentTest, ExistingAnnotationsAreListedAndHitTested) {
  const auto path = CopyCorpus("pypdf-commented.pdf");
  const auto document = Open(path);
  ASSERT_TRUE(document);
  ComPtr<external::IHostPages> pages;
  document->get_Pages(pages.Out());
  ComPtr<external::IHostPage> page;
  pages->Item(0, page.Out());
  ComPtr<external::IHostAnnotations> annotations;
  page->get_Annotations(annotations.Out());
  com::LONG count = 0;
  annotations->get_Count(&count);
  ASSERT_EQ(count, 6);
  std::map<std::u16string, int> types;
  ComPtr<external::IHostAnnotation> text;
  for (com::LONG i = 0; i < count; ++i) {
    ComPtr<external::IHostAnnotation> annotation;
    ASSERT_EQ(annotations->Item(i, annotation.Out()), com::S_OK);
    com::Bstr type;
    annotation->get_TypeName(type.Out());
    ++types[type.ToU16String()];
    if (type.View() == u"Text") text = annotation;
  }
  EXPECT_EQ(types[u"Popup"], 3);
  EXPECT_EQ(types[u"Text"], 2);
  EXPECT_EQ(types[u"Highlight"], 1);
  ASSERT_TRUE(text);
  // The middle of a note, as the user points at it, finds a note.
  double left = 0, top = 0, width = 0, height = 0;
  text->get_Left(&left);
  text->get_Top(&top);
  text->get_Width(&width);
  text->get_Height(&height);
  ASSERT_GT(width, 0);
  const auto pixel = driver.PixelOf(0, {left + width / 2, top + height / 2});
  ASSERT_TRUE(pixel);
  ComPtr<external::IHostView> view;
  document->get_View(view.Out());
  ComPtr<external::IHostPageView> pageView;
  view->get_PageView(pageView.Out());
  ComPtr<external::IHostAnnotation> hit;
  ASSERT_EQ(pageView->AnnotationAt(pixel->x, pixel->y, hit.Out()), com::S_OK);
  com::Bstr hitType;
  hit->get_TypeName(hitType.Out());
  // Closed popups are not on show, so they are never hit.
  EXPECT_EQ(hitType.View(), u"Text");
  ComPtr<com::IDispatch> object;
  EXPECT_EQ(pageView->ObjectAt(pixel->x, pixel->y, object.Out()), com::S_OK);
  EXPECT_TRUE(object);
  const auto core = driver.Host().ActiveDocument()->Core();
  const int redraws = core->redrawCount;
  EXPECT_EQ(pageView->Redraw(), com::S_OK);
  EXPECT_EQ(core->redrawCount, redraws + 1);
  // Outside every page nothing is hit.
  EXPECT_EQ(pageView->AnnotationAt(1, 1, hit.Out()), com::S_FALSE);
  EXPECT_FALSE(hit);
}

TEST_F(DocumentTest, InteractionIsReadableByDispatchId) {
  const auto document = Open(CopyCorpus("qpdf-minimal.pdf"));
  ASSERT_TRUE(document);
  driver.Host().ActiveDocument()->Core()->interaction = 3;
  com::DISPPARAMS none{nullptr, nullptr, 0, 0};
  com::Variant result;
  ASSERT_EQ(document->Invoke(external::kDispidDocumentInteraction, com::IID_NULL, com::LOCALE_SYSTEM_DEFAULT,
                             com::DISPATCH_PROPERTYGET, &none, result.Out(), nullptr, nullptr),
            com::S_OK);
  EXPECT_EQ(result.Type(), com::VT_I4);
  EXPECT_EQ(result.AsInt(), 3);
  com::LONG direct = 0;
  document->get_Interaction(&direct);
  EXPECT_EQ(direct, 3);
  EXPECT_EQ(document->Invoke(35, com::IID_NULL, 0, com::DISPATCH_PROPERTYGET, &none, result.Out(), nullptr, nullptr),
            com::DISP_E_MEMBERNOTFOUND);
}

}  // namespace
}  // namespace sealrun::platform::host::testing
