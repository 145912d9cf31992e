// The reader's window on Qt's offscreen platform: files open in tabs with every page drawn (once scrolled
// into view), zoom and view rotation redraw them, and a file that is no PDF is refused with its reason.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <memory>

#include "apps/reader/DocumentView.h"
#include "apps/reader/ReaderWindow.h"
#include "apps/reader/SealList.h"
#include "tests/testsupport/QtSuite.h"
#include "tests/testsupport/TempDir.h"

namespace sealrun::reader {
namespace {

class ReaderWindowTest : public sealrun::testing::QtSuite {};

// The window as a plain reader: these tests look at reading, and a host would register the add-in for the user.
constexpr ReaderWindow::Options kPlainReader{.withHost = false};

QString CorpusFile(const char* name) {
  return QString::fromStdString((sealrun::testing::CorpusDir() / name).string());
}

// Pages are drawn in the background: spins the event loop until the page's picture is there.
bool WaitUntilDrawn(const DocumentView& view, int pageIndex) {
  return QTest::qWaitFor([&] { return view.IsPageDrawn(pageIndex); }, 30000);
}

TEST_F(ReaderWindowTest, FilesOpenInTabsWithEveryPageDrawn) {
  ReaderWindow window(kPlainReader);
  window.show();
  ASSERT_TRUE(window.OpenFile(CorpusFile("pypdf-crazyones.pdf")));
  ASSERT_TRUE(window.OpenFile(CorpusFile("pdfjs-tracemonkey.pdf")));
  EXPECT_EQ(window.DocumentCount(), 2);
  DocumentView* view = window.CurrentView();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->PageCount(), 14);
  // At zoom 1 a point is 96/72 pixels, as the host's view model says.
  for (int i = 0; i < view->PageCount(); ++i) {
    view->ScrollToPage(i);
    ASSERT_TRUE(WaitUntilDrawn(*view, i)) << "page " << i;
    const QImage picture = view->PagePicture(i);
    EXPECT_NEAR(picture.width(), 816, 1) << "page " << i;
    EXPECT_NEAR(picture.height(), 1056, 1) << "page " << i;
  }
  EXPECT_TRUE(window.statusBar()->currentMessage().contains(QStringLiteral("14 page")));
}

TEST_F(ReaderWindowTest, ZoomAndViewRotationRedrawThePages) {
  ReaderWindow window(kPlainReader);
  ASSERT_TRUE(window.OpenFile(CorpusFile("pypdf-crazyones.pdf")));
  DocumentView* view = window.CurrentView();
  ASSERT_NE(view, nullptr);
  ASSERT_TRUE(WaitUntilDrawn(*view, 0));
  const QSize upright = view->PagePicture(0).size();
  view->SetZoom(2.0);
  ASSERT_TRUE(WaitUntilDrawn(*view, 0));
  EXPECT_NEAR(view->PagePicture(0).width(), 2 * upright.width(), 2);
  view->Turn(1);
  EXPECT_EQ(view->Rotation(), 90);
  ASSERT_TRUE(WaitUntilDrawn(*view, 0));
  EXPECT_NEAR(view->PagePicture(0).width(), 2 * upright.height(), 2);
  view->Turn(-2);
  EXPECT_EQ(view->Rotation(), 270);
}

TEST_F(ReaderWindowTest, TheSealsOfTheFileInViewAreListedFromTheFirstFileOn) {
  ReaderWindow window(kPlainReader);
  window.show();
  ASSERT_TRUE(window.OpenFile(CorpusFile("pyhanko-minimal-two-fields-signed-twice.pdf")));
  EXPECT_EQ(window.Seals().File(), DocumentPath(CorpusFile("pyhanko-minimal-two-fields-signed-twice.pdf")));
  EXPECT_EQ(window.Seals().SealCount(), 2) << "both signature fields";
  ASSERT_TRUE(window.OpenFile(CorpusFile("pypdf-crazyones.pdf")));
  EXPECT_EQ(window.Seals().SealCount(), 0);
  ASSERT_TRUE(window.OpenFile(CorpusFile("pyhanko-minimal-two-fields-signed-twice.pdf")));
  EXPECT_EQ(window.Seals().SealCount(), 2) << "back to the first tab";
}

TEST_F(ReaderWindowTest, AFileThatIsNoPdfIsRefusedWithItsReason) {
  sealrun::testing::TempDir folder;
  const auto path = folder / "not.pdf";
  sealrun::testing::WriteFileBytes(path, "this is no PDF");
  ReaderWindow window(kPlainReader);
  // The warning is a modal box: it is answered as soon as it shows.
  QTimer::singleShot(0, [] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (auto* box = qobject_cast<QMessageBox*>(widget)) box->accept();
    }
  });
  EXPECT_FALSE(window.OpenFile(QString::fromStdString(path.string())));
  EXPECT_EQ(window.DocumentCount(), 0);
  EXPECT_TRUE(window.statusBar()->currentMessage().contains(QStringLiteral("cannot be opened")));
}

}  // namespace
}  // namespace sealrun::reader
