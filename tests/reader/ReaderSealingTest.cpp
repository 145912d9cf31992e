// The reader with the add-in loaded, used as an office user uses it: the pre-stamp placed with a click in
// every view rotation and shown at once, files added in the docked pane, sealed through the signing dialog
// with the PIN typed, verified with a changed file's row highlighted and each file's seals listed
// with their verdicts, and unsealed again after a wrong PIN. With SEALRUN_SCREENSHOTS=FOLDER the windows are
// saved there as PNG pictures on the way.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QToolBar>
#include <QTreeWidget>
#include <filesystem>
#include <memory>
#include <string>

#include "apps/reader/CommandBars.h"
#include "apps/reader/DocumentView.h"
#include "apps/reader/PaneDock.h"
#include "apps/reader/ReaderWindow.h"
#include "apps/reader/SealList.h"
#include "apps/sealrun/DemoTamper.h"
#include "apps/common/SealReport.h"
#include "external/QpHandles.h"
#include "platform/host/ViewModel.h"
#include "platform/ui/WritingWindow.h"
#include "signing/SigModelDlg.h"
#include "tests/testsupport/PrivateUser.h"
#include "tests/testsupport/QtInput.h"
#include "tests/testsupport/QtSuite.h"
#include "tests/testsupport/ScriptedUser.h"
#include "tests/testsupport/TempDir.h"
#include "verify/CBatchVerify.h"
#include "verify/CCBatchDel.h"
#include "workbench/BatchPaneWindow.h"

namespace sealrun::reader {
namespace {

namespace fs = std::filesystem;
namespace host = platform::host;
using sealrun::testing::ScriptedUser;

constexpr char kPaneName[] = "Sealrun";

QString Control(int id) { return QStringLiteral("ctl-%1").arg(id); }

class ReaderWithAddin : public sealrun::testing::QtSuite {
 protected:
  ReaderWithAddin() {
    fs::copy(SEALRUN_DEMO_KEY, temp_ / "key", fs::copy_options::recursive);
  }

  fs::path Copy(const std::string& corpusName, const std::string& name) {
    const fs::path target = temp_ / name;
    fs::copy_file(sealrun::testing::CorpusFile(corpusName), target, fs::copy_options::overwrite_existing);
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
    return target;
  }

  static QString Q(const fs::path& path) { return QString::fromStdString(path.string()); }

  // Saves a picture of the widget as it is now, when pictures were asked for.
  static void Shot(QWidget& widget, const char* name) {
    const QString folder = qEnvironmentVariable("SEALRUN_SCREENSHOTS");
    if (folder.isEmpty()) return;
    QCoreApplication::processEvents();
    EXPECT_TRUE(widget.grab().save(folder + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png")));
  }

  // The viewport pixel where the view shows a point of a page (host frame), as the host's view model has it.
  static QPoint PixelOf(ReaderWindow& window, DocumentView& view, int pageIndex, host::Point point) {
    const auto document = window.Host().Document(DocumentPath(view.Path()));
    host::ViewModel model;
    std::vector<host::Point> sizes;
    for (int i = 0; i < document->PageCount(); ++i)
      sizes.push_back({document->Geometry(i)->Width(), document->Geometry(i)->Height()});
    model.SetPages(sizes);
    model.SetZoom(view.Zoom());
    model.SetRotation(view.Rotation());
    const QPoint scroll = view.ScrollOffset();
    model.SetScroll({static_cast<double>(scroll.x()), static_cast<double>(scroll.y())});
    const auto pixel = model.PageToPixel(pageIndex, point);
    return QPoint(static_cast<int>(std::lround(pixel->x)), static_cast<int>(std::lround(pixel->y)));
  }

  // Seal red (the pre-stamp's and the seal's picture) around a viewport pixel, as the screen shows it.
  static int RedAround(DocumentView& view, QPoint pixel) {
    QCoreApplication::processEvents();
    const QImage shown = view.viewport()->grab().toImage();
    int red = 0;
    for (int y = pixel.y() - 12; y <= pixel.y() + 12; ++y)
      for (int x = pixel.x() - 12; x <= pixel.x() + 12; ++x) {
        if (!shown.valid(x, y)) continue;
        const QColor colour = shown.pixelColor(x, y);
        if (colour.red() > 150 && colour.green() < 110 && colour.blue() < 110) ++red;
      }
    return red;
  }

  // The user right-clicks the page, picks the add-in's pre-stamp item and clicks where the seal goes.
  void PlacePreStamp(DocumentView& view, QPoint pixel) {
    user_.Then<QMenu>([](QMenu& menu) {
      for (QAction* action : menu.actions()) {
        if (action->text() == QStringLiteral("预盖印章")) {
          menu.setActiveAction(action);
          QTest::keyClick(&menu, Qt::Key_Return);
          return;
        }
      }
      ADD_FAILURE() << "the popup offers no pre-stamp item";
      menu.close();
    });
    QTest::mouseClick(view.viewport(), Qt::RightButton, {}, pixel);
    ASSERT_TRUE(user_.Done());
    // In place mode the pointer over the page is the add-in's seal cursor.
    sealrun::testing::MovePointer(view.viewport(), pixel + QPoint(1, 1));
    EXPECT_EQ(view.viewport()->cursor().shape(), Qt::BitmapCursor);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, pixel);
    sealrun::testing::MovePointer(view.viewport(), pixel + QPoint(2, 2));
    EXPECT_NE(view.viewport()->cursor().shape(), Qt::BitmapCursor) << "placed: the cursor is the reader's again";
  }

  // Opens a file (or shows its tab) at half size and waits for its first page; null when that fails.
  static DocumentView* ShowAtHalfSize(ReaderWindow& window, const fs::path& file) {
    if (!window.OpenFile(Q(file))) return nullptr;
    DocumentView* view = window.CurrentView();
    view->SetZoom(0.5);
    return QTest::qWaitFor([view] { return view->IsPageDrawn(0); }, 30000) ? view : nullptr;
  }

  static QAction* Command(ReaderWindow& window, const QString& caption) {
    for (QToolBar* toolbar : window.Commands().Toolbars())
      for (QAction* action : toolbar->actions())
        if (action->text() == caption) return action;
    return nullptr;
  }

  static QAction* PaneButton(PaneDock& pane, int commandId) {
    return pane.Buttons()->findChild<QAction*>(QStringLiteral("pane-command-%1").arg(commandId));
  }

  // Adds files to the pane through its add-files button and the open-file dialog.
  void AddFiles(PaneDock& pane, const QStringList& names) {
    const QString folder = Q(temp_.Path());
    QString typed;
    for (const QString& name : names) typed += QLatin1Char('"') + name + QStringLiteral("\" ");
    user_.Then<QFileDialog>([folder, typed](QFileDialog& dialog) {
      sealrun::testing::AnswerFileDialog(dialog, folder, typed.trimmed());
    });
    PaneButton(pane, workbench::kAddFilesCommand)->trigger();
    EXPECT_TRUE(user_.Done());
  }

  sealrun::testing::TempDir temp_;
  sealrun::testing::PrivateUser privateUser_{temp_.Path()};
  ScriptedUser user_;
};

ReaderWindow::Options TestOptions() { return {.withHost = true, .nativeFileDialogs = false}; }

TEST_F(ReaderWithAddin, APreStampShowsAtOnceWhereTheUserClickedInEveryViewRotation) {
  for (int quarters = 0; quarters < 4; ++quarters) {
    SCOPED_TRACE(quarters * 90);
    const fs::path file = Copy("pypdf-crazyones.pdf", "template" + std::to_string(quarters) + ".pdf");
    ReaderWindow window(TestOptions());
    ASSERT_TRUE(window.HostProblem().isEmpty()) << window.HostProblem().toStdString();
    window.show();
    ASSERT_TRUE(window.OpenFile(Q(file)));
    DocumentView& view = *window.CurrentView();
    view.SetZoom(0.5);
    view.Turn(quarters);
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.IsPageDrawn(0); }, 30000));
    // The add-in offers its pre-stamp while its pane is open.
    ASSERT_NE(Command(window, QStringLiteral("批量签章")), nullptr);
    Command(window, QStringLiteral("批量签章"))->trigger();

    // A blank spot of the page, away from its text.
    const QPoint pixel = PixelOf(window, view, 0, {480, 720});
    ASSERT_TRUE(view.viewport()->rect().contains(pixel));
    EXPECT_EQ(RedAround(view, pixel), 0);
    PlacePreStamp(view, pixel);
    // In place mode the add-in's cursor showed; the stamp is on the page now, centred on the click.
    EXPECT_GT(RedAround(view, pixel), 40);
    const auto document = window.Host().Document(file);
    ASSERT_TRUE(document);
    EXPECT_EQ(document->Annotations(0).size(), 1u);
    if (quarters == 0) Shot(window, "page-prestamped");
  }
}

TEST_F(ReaderWithAddin, FilesAreSealedVerifiedAndUnsealedFromThePaneThroughTheirDialogs) {
  const fs::path templateFile = Copy("pypdf-crazyones.pdf", "template.pdf");
  Copy("pdfjs-tracemonkey.pdf", "a.pdf");
  Copy("pypdf-crazyones.pdf", "b.pdf");
  Copy("pdfjs-sizes.pdf", "unsealed.pdf");
  ReaderWindow window(TestOptions());
  ASSERT_TRUE(window.HostProblem().isEmpty()) << window.HostProblem().toStdString();
  window.show();
  DocumentView* shown = ShowAtHalfSize(window, templateFile);
  ASSERT_NE(shown, nullptr);
  DocumentView& view = *shown;

  // The add-in's sign command opens its pane at the side; the pre-stamp goes where the user clicks.
  QAction* sign = Command(window, QStringLiteral("批量签章"));
  ASSERT_NE(sign, nullptr);
  sign->trigger();
  PaneDock* pane = window.Pane(kPaneName);
  ASSERT_NE(pane, nullptr);
  EXPECT_TRUE(pane->isVisible());
  PlacePreStamp(view, PixelOf(window, view, 0, {480, 720}));
  AddFiles(*pane, {QStringLiteral("a.pdf"), QStringLiteral("b.pdf")});
  // b.pdf is open in a tab of its own while the run seals it; the template is the document in view.
  DocumentView* sealedView = ShowAtHalfSize(window, temp_ / "b.pdf");
  ASSERT_NE(sealedView, nullptr);
  DocumentView& sealed = *sealedView;
  EXPECT_EQ(RedAround(sealed, PixelOf(window, sealed, 0, {480, 720})), 0);
  ASSERT_TRUE(window.OpenFile(Q(templateFile)));
  ASSERT_EQ(pane->Table()->rowCount(), 2);
  EXPECT_TRUE(pane->Table()->showGrid());
  EXPECT_EQ(pane->Table()->selectionBehavior(), QAbstractItemView::SelectRows);
  Shot(window, "pane-with-document");

  // The signing dialog: the seal's preview shows, the PIN is typed, OK runs the batch; the summary follows.
  QString summary;
  user_.Then<QDialog>(
      [](QDialog& dialog) {
        const auto* preview = dialog.findChild<QLabel*>(Control(signing::kPreview));
        ASSERT_NE(preview, nullptr);
        EXPECT_FALSE(preview->pixmap().isNull());
        auto* pin = dialog.findChild<QLineEdit*>(Control(signing::kPinEdit));
        ASSERT_NE(pin, nullptr);
        EXPECT_EQ(pin->echoMode(), QLineEdit::Password);
        QTest::keyClicks(pin, QStringLiteral("123456"));
        Shot(dialog, "signing-dialog");
        QTest::mouseClick(dialog.findChild<QPushButton*>(Control(1)), Qt::LeftButton);
      },
      QStringLiteral("dialog-%1").arg(signing::kSigModelDialogId));
  user_.Then<QMessageBox>([&summary](QMessageBox& box) {
    summary = box.text();
    box.accept();
  });
  PaneButton(*pane, workbench::kRunCommand)->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return user_.Done(); }, 60000));
  EXPECT_FALSE(summary.isEmpty());

  const external::EngineHandle engine = external::StartEngine();
  for (const char* name : {"a.pdf", "b.pdf"}) {
    const apps::FileSeals seals = apps::ExamineFile(engine.get(), temp_ / name);
    ASSERT_EQ(seals.seals.size(), 1u) << name;
    EXPECT_TRUE(seals.seals[0].valid) << name;
    EXPECT_EQ(seals.seals[0].pageIndex, 0) << name;
  }
  // The open file is shown as the run left it: its seal where the pre-stamp was.
  ASSERT_TRUE(window.OpenFile(Q(temp_ / "b.pdf")));
  ASSERT_EQ(window.CurrentView(), &sealed);
  ASSERT_TRUE(QTest::qWaitFor([&] { return sealed.IsPageDrawn(0); }, 30000));
  EXPECT_GT(RedAround(sealed, PixelOf(window, sealed, 0, {480, 720})), 40);
  EXPECT_EQ(window.Seals().SealCount(), 1);
  EXPECT_EQ(window.Seals().InvalidCount(), 0);
  Shot(window, "page-sealed");

  // One sealed file is changed afterwards, as a careless editor would: verification from the pane finds its
  // seal invalid, and its row stands out.
  ASSERT_EQ(apps::AppendPageContent(temp_ / "a.pdf", 0, "0 0 1 rg 20 20 80 80 re f\n"), std::nullopt);
  QAction* verify = Command(window, QStringLiteral("签章验证"));
  ASSERT_NE(verify, nullptr);
  // The pane is open in the signing mode: the command closes it, and opens it again for verification.
  verify->trigger();
  EXPECT_FALSE(pane->isVisible());
  verify->trigger();
  EXPECT_TRUE(pane->isVisible());
  if (pane->Table()->rowCount() > 0) PaneButton(*pane, workbench::kClearCommand)->trigger();
  AddFiles(*pane, {QStringLiteral("a.pdf"), QStringLiteral("b.pdf"), QStringLiteral("unsealed.pdf")});
  ASSERT_EQ(pane->Table()->rowCount(), 3);
  // The run goes while the dialog shows its progress; OK closes it once the run is over.
  QString verifyStatus;
  user_.Then<QDialog>(
      [&verifyStatus](QDialog& dialog) {
        verifyStatus = dialog.findChild<QLabel*>(Control(verify::kVerifyStatusControl))->text();
        QTest::mouseClick(dialog.findChild<QPushButton*>(Control(1)), Qt::LeftButton);
      },
      QStringLiteral("dialog-%1").arg(verify::kVerifyDialogTemplate), [](QDialog& dialog) {
        const auto* ok = dialog.findChild<QPushButton*>(Control(1));
        const auto* bar = dialog.findChild<QProgressBar*>(Control(verify::kVerifyProgressControl));
        return ok != nullptr && bar != nullptr && ok->isEnabled() && bar->value() == bar->maximum();
      });
  PaneButton(*pane, workbench::kRunCommand)->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return user_.Done(); }, 60000));
  // "印章总数:T 有效:V 失效:I" and the like: the summary of the run.
  EXPECT_FALSE(verifyStatus.isEmpty());
  int highlighted = -1;
  for (int row = 0; row < pane->Table()->rowCount(); ++row) {
    if (pane->Table()->item(row, 0)->data(Qt::UserRole).toBool()) {
      EXPECT_EQ(highlighted, -1) << "one failed row only";
      highlighted = row;
    }
  }
  ASSERT_GE(highlighted, 0);
  EXPECT_TRUE(pane->Table()->item(highlighted, 1)->text().endsWith(QStringLiteral("a.pdf")));
  // Selecting a row lists that file's seals with their verdicts and the reasons of an invalid one.
  pane->Table()->selectRow(highlighted);
  EXPECT_EQ(window.Seals().File(), temp_ / "a.pdf");
  EXPECT_EQ(window.Seals().SealCount(), 1);
  EXPECT_EQ(window.Seals().InvalidCount(), 1);
  const QTreeWidgetItem* seal = window.Seals().topLevelItem(0);
  ASSERT_NE(seal, nullptr);
  EXPECT_TRUE(seal->text(0).contains(QStringLiteral("INVALID")));
  bool changeListed = false;
  for (int i = 0; i < seal->childCount(); ++i)
    changeListed = changeListed || seal->child(i)->text(0).startsWith(QStringLiteral("later change:"));
  EXPECT_TRUE(changeListed);
  Shot(window, "verification-reasons");
  pane->Table()->selectRow(highlighted == 0 ? 1 : 0);
  EXPECT_EQ(window.Seals().InvalidCount(), 0);
  Shot(window, "verification-failed-row");
  // A double-click opens the row's file in the reader.
  const QRect cell = pane->Table()->visualItemRect(pane->Table()->item(highlighted, 0));
  // The first click of the two selects the row, the second opens it.
  QTest::mousePress(pane->Table()->viewport(), Qt::LeftButton, {}, cell.center());
  QTest::mouseRelease(pane->Table()->viewport(), Qt::LeftButton, {}, cell.center());
  QTest::mouseDClick(pane->Table()->viewport(), Qt::LeftButton, {}, cell.center());
  ASSERT_NE(window.ViewOf(Q(temp_ / "a.pdf")), nullptr);
  EXPECT_EQ(window.CurrentView(), window.ViewOf(Q(temp_ / "a.pdf")));

  // Removal from the pane: a wrong PIN is refused with the file untouched, the right one removes the seal,
  // and the open file shows its page without it.
  QAction* remove = Command(window, QStringLiteral("批量撤章"));
  ASSERT_NE(remove, nullptr);
  remove->trigger();
  if (!pane->isVisible()) remove->trigger();
  ASSERT_TRUE(pane->isVisible());
  PaneButton(*pane, workbench::kClearCommand)->trigger();
  AddFiles(*pane, {QStringLiteral("b.pdf")});
  const std::string sealedBytes = sealrun::testing::ReadFileBytes(temp_ / "b.pdf");
  const QString removeDialog = QStringLiteral("dialog-%1").arg(verify::kRemoveDialogTemplate);
  auto typePinAndConfirm = [](const QString& pin) {
    return [pin](QDialog& dialog) {
      auto* field = dialog.findChild<QLineEdit*>(Control(verify::kRemovePinControl));
      ASSERT_NE(field, nullptr);
      EXPECT_EQ(field->echoMode(), QLineEdit::Password);
      field->clear();
      QTest::keyClicks(field, pin);
      QTest::mouseClick(dialog.findChild<QPushButton*>(Control(1)), Qt::LeftButton);
    };
  };
  QStringList boxes;
  user_.Then<QDialog>(typePinAndConfirm(QStringLiteral("000000")), removeDialog);
  user_.Then<QMessageBox>([&boxes](QMessageBox& box) {
    boxes << box.text();
    box.accept();
  });
  user_.Then<QDialog>(typePinAndConfirm(QStringLiteral("123456")), removeDialog);
  user_.Then<QMessageBox>([&boxes](QMessageBox& box) {
    boxes << box.text();
    box.accept();
  });
  PaneButton(*pane, workbench::kRunCommand)->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return user_.Done(); }, 60000));
  ASSERT_EQ(boxes.size(), 2);
  EXPECT_EQ(boxes[0], QStringLiteral("密码错误，请重新输入!"));
  EXPECT_EQ(apps::ExamineFile(engine.get(), temp_ / "b.pdf").seals.size(), 0u);
  EXPECT_EQ(sealrun::testing::ReadFileBytes(temp_ / "b.pdf").compare(0, sealedBytes.size(), sealedBytes), 0)
      << "removal appends an update";
  ASSERT_TRUE(window.OpenFile(Q(temp_ / "b.pdf")));
  ASSERT_TRUE(QTest::qWaitFor([&] { return sealed.IsPageDrawn(0); }, 30000));
  EXPECT_EQ(RedAround(sealed, PixelOf(window, sealed, 0, {480, 720})), 0);
  EXPECT_EQ(window.Seals().SealCount(), 0);
}

TEST_F(ReaderWithAddin, ASignatureWrittenWithTheMouseIsTheSealOfTheRun) {
  const fs::path templateFile = Copy("pypdf-crazyones.pdf", "template.pdf");
  Copy("pdfjs-tracemonkey.pdf", "a.pdf");
  ReaderWindow window(TestOptions());
  ASSERT_TRUE(window.HostProblem().isEmpty()) << window.HostProblem().toStdString();
  window.show();
  DocumentView* shown = ShowAtHalfSize(window, templateFile);
  ASSERT_NE(shown, nullptr);
  DocumentView& view = *shown;
  Command(window, QStringLiteral("批量签章"))->trigger();
  PaneDock* pane = window.Pane(kPaneName);
  ASSERT_NE(pane, nullptr);
  PlacePreStamp(view, PixelOf(window, view, 0, {480, 720}));
  AddFiles(*pane, {QStringLiteral("a.pdf")});

  // In the signing dialog the user opens the writing window, writes, types the PIN there and confirms; the
  // preview shows the writing and the PIN is filled in; OK seals with it.
  const QString signingDialog = QStringLiteral("dialog-%1").arg(signing::kSigModelDialogId);
  QImage sealPreview;
  user_.Then<QDialog>(
      [&sealPreview](QDialog& dialog) {
        sealPreview = dialog.findChild<QLabel*>(Control(signing::kPreview))->pixmap().toImage();
        QTest::mouseClick(dialog.findChild<QPushButton*>(Control(signing::kHandwritingButton)), Qt::LeftButton);
      },
      signingDialog);
  user_.Then<QDialog>(
      [](QDialog& pad) {
        QWidget* canvas = pad.findChild<QWidget*>(Control(platform::ui::kWritingPadId));
        ASSERT_NE(canvas, nullptr);
        sealrun::testing::DrawStroke(canvas, {20, 30}, {180, 90});
        sealrun::testing::DrawStroke(canvas, {30, 90}, {160, 20});
        QTest::keyClicks(pad.findChild<QLineEdit*>(Control(platform::ui::kWritingPinId)), QStringLiteral("123456"));
        Shot(pad, "handwriting-window");
        QTest::mouseClick(pad.findChild<QPushButton*>(Control(1)), Qt::LeftButton);
      },
      QStringLiteral("dialog-%1").arg(platform::ui::kWritingWindowTemplateId));
  user_.Then<QDialog>(
      [&sealPreview](QDialog& dialog) {
        EXPECT_NE(dialog.findChild<QLabel*>(Control(signing::kPreview))->pixmap().toImage(), sealPreview)
            << "the preview shows the writing";
        EXPECT_EQ(dialog.findChild<QLineEdit*>(Control(signing::kPinEdit))->text(), QStringLiteral("123456"));
        QTest::mouseClick(dialog.findChild<QPushButton*>(Control(1)), Qt::LeftButton);
      },
      signingDialog);
  user_.Then<QMessageBox>([](QMessageBox& box) { box.accept(); });
  PaneButton(*pane, workbench::kRunCommand)->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return user_.Done(); }, 60000));

  const external::EngineHandle engine = external::StartEngine();
  const apps::FileSeals seals = apps::ExamineFile(engine.get(), temp_ / "a.pdf");
  ASSERT_EQ(seals.seals.size(), 1u);
  EXPECT_TRUE(seals.seals[0].valid);
}

}  // namespace
}  // namespace sealrun::reader
