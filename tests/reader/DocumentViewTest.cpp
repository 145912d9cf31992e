// The reader's page view on Qt's offscreen platform: pages lie where the host's view model says, are drawn in
// the background exactly as the engine draws them, follow the file when it changes, can be drawn by the host's
// own document, and a view closed while pages are being drawn goes away cleanly.
#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <filesystem>
#include <memory>

#include "apps/reader/DocumentView.h"
#include "apps/reader/PageCache.h"
#include "apps/reader/PageImages.h"
#include "external/QpHandles.h"
#include "platform/host/ViewModel.h"
#include "tests/testsupport/QtSuite.h"
#include "tests/testsupport/TempDir.h"

namespace sealrun::reader {
namespace {

using platform::host::Point;
using platform::host::ViewModel;

class DocumentViewTest : public sealrun::testing::QtSuite {};

QString Corpus(const char* name) { return QString::fromStdString(sealrun::testing::CorpusFile(name).string()); }

bool WaitUntilDrawn(const DocumentView& view, int pageIndex) {
  return QTest::qWaitFor([&] { return view.IsPageDrawn(pageIndex); }, 30000);
}

std::unique_ptr<DocumentView> ShownView(const QString& path) {
  std::unique_ptr<DocumentView> view = DocumentView::Open(path, nullptr);
  if (view) {
    view->resize(700, 900);
    view->show();
  }
  return view;
}

ViewModel ModelOf(const DocumentView& view, std::vector<Point> sizes) {
  ViewModel model;
  model.SetPages(std::move(sizes));
  model.SetZoom(view.Zoom());
  model.SetRotation(view.Rotation());
  model.SetScroll({static_cast<double>(view.ScrollOffset().x()), static_cast<double>(view.ScrollOffset().y())});
  return model;
}

bool IsDark(QRgb pixel) { return qGray(pixel) < 96; }
bool IsWhite(QRgb pixel) { return qGray(pixel) > 250; }

// Whether the 3x3 block around (x, y) is all of one kind.
template <typename Kind>
bool SolidAround(const QImage& image, int x, int y, Kind kind) {
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx)
      if (!kind(image.pixel(x + dx, y + dy))) return false;
  return true;
}

// Whether a pixel of that kind lies within one pixel of (x, y) (the view places pages to a whole pixel).
template <typename Kind>
bool NearAround(const QImage& image, int x, int y, Kind kind) {
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx)
      if (image.valid(x + dx, y + dy) && kind(image.pixel(x + dx, y + dy))) return true;
  return false;
}

TEST_F(DocumentViewTest, PagesLieOnScreenWhereTheViewModelPutsTheirPoints) {
  const QString path = Corpus("pdfjs-tracemonkey.pdf");
  const std::vector<Point> sizes = PageImages(path).PageSizes();
  std::unique_ptr<DocumentView> view = ShownView(path);
  ASSERT_TRUE(view);
  view->resize(1400, 1100);  // the title block stays in view however the page is turned
  QSignalSpy pressed(view.get(), &DocumentView::PagePressed);
  for (const double zoom : {1.0, 1.6}) {
    // The title block of the first page, upright, as the engine draws it: the reference for every rotation.
    const double scale = zoom * ViewModel::kPixelsPerPoint;
    const QImage reference = PageImages(path).Draw(0, scale, 0);
    for (const int rotation : {0, 90, 180, 270}) {
      SCOPED_TRACE(::testing::Message() << "zoom " << zoom << ", rotation " << rotation);
      view->SetZoom(zoom);
      view->Turn((rotation - view->Rotation()) / 90);
      ASSERT_EQ(view->Rotation(), rotation);
      view->horizontalScrollBar()->setValue(23);
      view->verticalScrollBar()->setValue(31);
      ASSERT_TRUE(WaitUntilDrawn(*view, 0));
      const QImage screen = view->viewport()->grab().toImage();
      const ViewModel model = ModelOf(*view, sizes);

      int dark = 0;
      int white = 0;
      int misplacedDark = 0;
      int misplacedWhite = 0;
      for (int y = 1; y + 1 < reference.height(); y += 2) {
        for (int x = 1; x + 1 < reference.width(); x += 2) {
          const bool solidDark = SolidAround(reference, x, y, IsDark);
          const bool solidWhite = !solidDark && (x + y) % 37 == 0 && SolidAround(reference, x, y, IsWhite);
          if (!solidDark && !solidWhite) continue;
          const Point point{(x + 0.5) / scale, (y + 0.5) / scale};
          const Point pixel = model.PageToPixel(0, point).value();
          const int sx = static_cast<int>(std::floor(pixel.x));
          const int sy = static_cast<int>(std::floor(pixel.y));
          if (!screen.valid(sx, sy)) continue;
          (solidDark ? dark : white) += 1;
          if (!NearAround(screen, sx, sy, solidDark ? IsDark : IsWhite)) ++(solidDark ? misplacedDark : misplacedWhite);
          if (dark == 1 && solidDark) {
            // A press there reaches the host as that view pixel, which the view model maps back to the point.
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(sx, sy));
            ASSERT_EQ(pressed.count(), 1);
            const QPoint at = pressed.takeFirst().at(0).toPoint();
            const auto back = model.PixelToPage({static_cast<double>(at.x()), static_cast<double>(at.y())});
            ASSERT_TRUE(back.has_value());
            EXPECT_EQ(back->pageIndex, 0);
            EXPECT_NEAR(back->point.x, point.x, 1.5 / scale);
            EXPECT_NEAR(back->point.y, point.y, 1.5 / scale);
          }
        }
      }
      EXPECT_GT(dark, 50);
      EXPECT_GT(white, 50);
      EXPECT_LE(misplacedDark, dark / 50) << "of " << dark << " dark spots";
      EXPECT_LE(misplacedWhite, white / 50) << "of " << white << " white spots";
    }
  }
}

int DifferingPixels(const QImage& a, const QImage& b) {
  int differing = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) differing += a.pixel(x, y) != b.pixel(x, y) ? 1 : 0;
  return differing;
}

TEST_F(DocumentViewTest, PagesAreDrawnInTheBackgroundAsTheEngineDrawsThem) {
  const QString path = Corpus("pdfjs-tracemonkey.pdf");
  std::unique_ptr<DocumentView> view = ShownView(path);
  ASSERT_TRUE(view);
  QSignalSpy drawn(view.get(), &DocumentView::PageDrawn);
  ASSERT_TRUE(WaitUntilDrawn(*view, 0));
  EXPECT_EQ(view->PagePicture(0), PageImages(path).Draw(0, ViewModel::kPixelsPerPoint, 0));
  // Only the pages in view and the one after are drawn; a page far below waits until it is scrolled to.
  EXPECT_FALSE(view->IsPageDrawn(10));
  EXPECT_TRUE(view->PagePicture(10).isNull());
  view->ScrollToPage(10);
  EXPECT_EQ(view->CurrentPage(), 10);
  ASSERT_TRUE(WaitUntilDrawn(*view, 10));
  EXPECT_TRUE(drawn.contains(QVariantList{10}));
  view->Turn(1);
  view->SetZoom(0.5);
  EXPECT_EQ(view->CurrentPage(), 10) << "the page at the top stays in view";
  ASSERT_TRUE(WaitUntilDrawn(*view, 10));
  // The engine's image cache, warm in the view's drawing thread, may smooth pictures in the page a little
  // differently from a fresh engine.
  const QImage expected = PageImages(path).Draw(10, 0.5 * ViewModel::kPixelsPerPoint, 90);
  ASSERT_EQ(view->PagePicture(10).size(), expected.size());
  EXPECT_LT(DifferingPixels(view->PagePicture(10), expected), expected.width() * expected.height() / 100);
}

TEST_F(DocumentViewTest, KeysAndControlWheelMoveAndZoomThePages) {
  std::unique_ptr<DocumentView> view = ShownView(Corpus("pdfjs-tracemonkey.pdf"));
  ASSERT_TRUE(view);
  const int screen = view->viewport()->height();
  QTest::keyClick(view.get(), Qt::Key_PageDown);
  EXPECT_EQ(view->ScrollOffset().y(), screen);
  QTest::keyClick(view.get(), Qt::Key_End);
  EXPECT_EQ(view->CurrentPage(), view->PageCount() - 1);
  QTest::keyClick(view.get(), Qt::Key_PageUp);
  EXPECT_EQ(view->ScrollOffset().y(), view->verticalScrollBar()->maximum() - screen);
  QTest::keyClick(view.get(), Qt::Key_Home);
  EXPECT_EQ(view->ScrollOffset().y(), 0);
  const QPointF centre = QRectF(view->viewport()->rect()).center();
  QWheelEvent wheel(centre, view->viewport()->mapToGlobal(centre), {}, QPoint(0, 120), Qt::NoButton,
                    Qt::ControlModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(view->viewport(), &wheel);
  EXPECT_DOUBLE_EQ(view->Zoom(), 1.25);
  view->SetZoom(100);
  EXPECT_DOUBLE_EQ(view->Zoom(), 1.25) << "a zoom the view model refuses changes nothing";
}

// Appends an update that puts a red stamp over the page's top-left quarter inch square at (72, 72).
void AppendRedStamp(const std::filesystem::path& file, double pageHeight) {
  external::EngineHandle engine = external::StartEngine();
  ASSERT_TRUE(engine);
  external::DocumentHandle document = external::OpenDocument(engine.get(), file.u16string());
  ASSERT_TRUE(document);
  {
    external::PageHandle page = external::LoadPage(document.get(), 0);
    ASSERT_TRUE(page);
    std::string pixels;
    for (int i = 0; i < 16; ++i) pixels += std::string("\xFF\x00\x00", 3);
    external::ImageHandle image(
        qp_image_create_from_data(document.get(), 4, 4, 8, QP_COLORSPACE_RGB, pixels.data(), pixels.size()));
    qp_annot stamp = qp_page_create_annotation(page.get(), QP_ANNOT_IMAGE_STAMP);
    ASSERT_NE(stamp, nullptr);
    ASSERT_EQ(qp_annot_set_rect(stamp, 72, pageHeight - 144, 144, pageHeight - 72), QP_OK);
    ASSERT_EQ(qp_annot_generate_appearance(stamp), QP_OK);
    ASSERT_EQ(qp_annot_set_image_appearance_from_handle(stamp, image.get()), QP_OK);
  }
  ASSERT_EQ(qp_document_save(document.get()), QP_OK);
}

bool IsRed(QRgb pixel) { return qRed(pixel) > 200 && qGreen(pixel) < 60 && qBlue(pixel) < 60; }

TEST_F(DocumentViewTest, ReloadShowsTheUpdateAppendedToTheFile) {
  sealrun::testing::TempDir folder;
  const std::filesystem::path file = folder / "crazyones.pdf";
  std::filesystem::copy_file(sealrun::testing::CorpusFile("pypdf-crazyones.pdf"), file);
  std::filesystem::permissions(file, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  const QString path = QString::fromStdString(file.string());
  std::unique_ptr<DocumentView> view = ShownView(path);
  ASSERT_TRUE(view);
  ASSERT_TRUE(WaitUntilDrawn(*view, 0));
  // The middle of the stamp's square, in picture pixels.
  const int spot = static_cast<int>(108 * ViewModel::kPixelsPerPoint);
  EXPECT_FALSE(IsRed(view->PagePicture(0).pixel(spot, spot)));

  AppendRedStamp(file, PageImages(path).PageSizes().at(0).y);
  view->Reload(PageImages(path).PageSizes());
  ASSERT_TRUE(WaitUntilDrawn(*view, 0));
  EXPECT_TRUE(IsRed(view->PagePicture(0).pixel(spot, spot)));
}

TEST_F(DocumentViewTest, DrawLiveDrawsThroughTheGivenFunctionUntilReload) {
  const QString path = Corpus("pdfjs-tracemonkey.pdf");
  const std::vector<Point> sizes = PageImages(path).PageSizes();
  std::unique_ptr<DocumentView> view = ShownView(path);
  ASSERT_TRUE(view);
  view->SetZoom(0.5);
  ASSERT_TRUE(WaitUntilDrawn(*view, 0));
  std::vector<int> asked;
  view->DrawLive([&](int pageIndex, double zoom, int rotation) {
    asked.push_back(pageIndex);
    EXPECT_DOUBLE_EQ(zoom, 0.5 * ViewModel::kPixelsPerPoint);
    EXPECT_EQ(rotation, 0);
    if (pageIndex == 1) return QImage();  // a page the live document cannot draw
    QImage picture(static_cast<int>(zoom * 612), static_cast<int>(zoom * 792), QImage::Format_RGB888);
    picture.fill(Qt::red);
    return picture;
  });
  // Drawn at once, on this thread: the first pages fit the viewport at half size.
  ASSERT_FALSE(asked.empty());
  EXPECT_EQ(asked.front(), 0);
  EXPECT_TRUE(view->IsPageDrawn(0));
  EXPECT_TRUE(IsRed(view->PagePicture(0).pixel(10, 10)));
  EXPECT_FALSE(view->IsPageDrawn(1));
  const QImage screen = view->viewport()->grab().toImage();
  const Point inside = ModelOf(*view, sizes).PageToPixel(1, {10, 10}).value();
  EXPECT_TRUE(IsWhite(screen.pixel(static_cast<int>(inside.x), static_cast<int>(inside.y))))
      << "a page that cannot be drawn keeps its white placeholder";

  view->Reload(sizes);
  ASSERT_TRUE(WaitUntilDrawn(*view, 0));
  EXPECT_FALSE(IsRed(view->PagePicture(0).pixel(10, 10)));
  EXPECT_TRUE(WaitUntilDrawn(*view, 1));
}

TEST_F(DocumentViewTest, AViewClosedWhilePagesAreDrawnGoesAwayCleanly) {
  const QString path = Corpus("texlive-bxjscls.pdf");
  const std::vector<Point> sizes = PageImages(path).PageSizes();
  for (int round = 0; round < 4; ++round) {
    auto view = std::make_unique<DocumentView>(path, sizes);
    view->resize(900, 1000);
    view->show();
    view->SetZoom(0.25 + round);
    QTest::qWait(round * 5);  // closed before, during and after the first pictures arrive
    view->ScrollToPage(100);
    QCoreApplication::processEvents();
    view.reset();
  }
  // Pictures sent to closed views never arrive anywhere.
  QTest::qWait(50);
  SUCCEED();
}

TEST(PageCacheTest, ViewsShareOneBudgetAndForgetOnlyTheirOwnPictures) {
  QImage picture(100, 100, QImage::Format_RGB888);
  picture.fill(Qt::white);
  const std::size_t one = static_cast<std::size_t>(picture.sizeInBytes());
  PageCache cache(3 * one + 4096);
  cache.Insert({0, 1.0, 0, 1}, picture);
  cache.Insert({0, 1.0, 0, 2}, picture);
  EXPECT_NE(cache.Peek({0, 1.0, 0, 1}), nullptr) << "the same page of two views is two pictures";
  cache.Insert({1, 1.0, 0, 2}, picture);
  cache.Insert({2, 1.0, 0, 2}, picture);
  EXPECT_EQ(cache.Peek({0, 1.0, 0, 1}), nullptr) << "one budget: the first view's older picture made room";
  cache.Forget(2);
  EXPECT_EQ(cache.Count(), 0u);
  EXPECT_EQ(cache.Bytes(), 0u);
  cache.Insert({0, 1.0, 0, 1}, picture);
  cache.Insert({0, 1.0, 0, 3}, picture);
  cache.Forget(3);
  EXPECT_NE(cache.Peek({0, 1.0, 0, 1}), nullptr) << "another view's pictures stay";
}

TEST(PageCacheTest, KeepsTheMostRecentlyUsedPicturesWithinItsBytes) {
  const auto picture = [](int side) {
    QImage image(side, side, QImage::Format_RGB888);
    image.fill(Qt::white);
    return image;
  };
  const std::size_t one = static_cast<std::size_t>(picture(100).sizeInBytes());
  PageCache cache(2 * one + 2048);
  cache.Insert({0, 1.0, 0}, picture(100));
  cache.Insert({1, 1.0, 0}, picture(100));
  ASSERT_NE(cache.Use({0, 1.0, 0}), nullptr);
  cache.Insert({2, 1.0, 0}, picture(100));
  EXPECT_NE(cache.Peek({0, 1.0, 0}), nullptr) << "used last, kept";
  EXPECT_EQ(cache.Peek({1, 1.0, 0}), nullptr) << "least recently used, dropped";
  EXPECT_NE(cache.Peek({2, 1.0, 0}), nullptr);
  EXPECT_EQ(cache.Peek({2, 2.0, 0}), nullptr) << "another zoom is another picture";
  EXPECT_LE(cache.Bytes(), 2 * one + 2048);

  cache.Insert({2, 1.0, 0}, picture(100));  // drawn again: replaced, not counted twice
  EXPECT_EQ(cache.Count(), 2U);
  cache.Insert({3, 1.0, 0}, QImage());  // a page that cannot be drawn is remembered too
  ASSERT_NE(cache.Peek({3, 1.0, 0}), nullptr);
  EXPECT_TRUE(cache.Peek({3, 1.0, 0})->isNull());

  cache.Insert({4, 1.0, 0}, picture(300));  // larger than the whole cache: kept alone, as it is on screen
  EXPECT_EQ(cache.Count(), 1U);
  EXPECT_NE(cache.Peek({4, 1.0, 0}), nullptr);
  cache.Clear();
  EXPECT_EQ(cache.Bytes(), 0U);
}

}  // namespace
}  // namespace sealrun::reader
