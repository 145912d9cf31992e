// Message boxes answer with the button the user pressed; file dialogs answer with the directory and the
// names chosen, and Cancel with nothing.
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <fstream>

#include "platform/ui/Controls.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/qt/StandardDialogs.h"
#include "tests/platform/ui/qt/QtBackendFixture.h"
#include "tests/testsupport/QtInput.h"
#include "tests/testsupport/TempDir.h"

namespace sealrun::platform::ui::qt {
namespace {

struct BoxCase {
  const char* label;
  uint32_t style;
  QMessageBox::Icon icon;
  std::vector<QMessageBox::StandardButton> buttons;
  QMessageBox::StandardButton pressed;  // NoButton: the user presses Escape
  int answer;
};

TEST_F(QtBackendTest, MessageBoxesShowTheirButtonsAndIconAndAnswerTheButtonPressed) {
  const std::vector<BoxCase> cases = {
      {"ok", kMbOk | kMbIconInformation, QMessageBox::Information, {QMessageBox::Ok}, QMessageBox::Ok, kIdOk},
      {"ok, escaped", kMbOk | kMbIconError, QMessageBox::Critical, {QMessageBox::Ok}, QMessageBox::NoButton, kIdOk},
      {"ok/cancel", kMbOkCancel | kMbIconWarning, QMessageBox::Warning, {QMessageBox::Ok, QMessageBox::Cancel},
       QMessageBox::Cancel, kIdCancel},
      {"ok/cancel, escaped", kMbOkCancel, QMessageBox::NoIcon, {QMessageBox::Ok, QMessageBox::Cancel},
       QMessageBox::NoButton, kIdCancel},
      {"yes/no", kMbYesNo | kMbIconQuestion, QMessageBox::Question, {QMessageBox::Yes, QMessageBox::No},
       QMessageBox::No, kIdNo},
      {"yes/no/cancel", 0x3 | kMbIconQuestion, QMessageBox::Question,
       {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}, QMessageBox::Yes, kIdYes},
      {"retry/cancel", 0x5 | kMbIconWarning, QMessageBox::Warning, {QMessageBox::Retry, QMessageBox::Cancel},
       QMessageBox::Retry, 4},
  };
  for (const BoxCase& box : cases) {
    WhenShown<QMessageBox>([&box](QMessageBox& shown) {
      EXPECT_EQ(shown.windowTitle(), QStringLiteral("签章")) << box.label;
      EXPECT_EQ(shown.text(), QStringLiteral("文件已签章")) << box.label;
      EXPECT_EQ(shown.icon(), box.icon) << box.label;
      EXPECT_EQ(shown.buttons().size(), static_cast<qsizetype>(box.buttons.size())) << box.label;
      for (const auto button : box.buttons) EXPECT_NE(shown.button(button), nullptr) << box.label;
      if (box.pressed == QMessageBox::NoButton)
        QTest::keyClick(&shown, Qt::Key_Escape);
      else
        shown.button(box.pressed)->click();
    });
    EXPECT_EQ(MessageBox(nullptr, u"文件已签章", u"签章", box.style), box.answer) << box.label;
  }
}

// A dialog that asks a question when its button is pressed, owned by the dialog.
class AskingDialog : public Dialog {
 public:
  AskingDialog() : Dialog(902, u"验章") { AddChild(std::make_unique<Button>(50, u"询问")); }
  int answer = 0;

 protected:
  void OnCommand(int id, int code) override {
    if (id == 50) {
      answer = MessageBox(this, u"继续吗？", u"验章", kMbYesNo);
      EndDialog(kIdOk);
    }
    Dialog::OnCommand(id, code);
  }
};

TEST_F(QtBackendTest, AMessageBoxOfADialogIsOwnedByItsWindow) {
  AskingDialog dialog;
  QString owner;  // the dialog's window is gone once DoModal returns: its name is kept
  WhenShown<QDialog>([this, &owner](QDialog& shown) {
    WhenShown<QMessageBox>([&owner](QMessageBox& box) {
      owner = box.parentWidget() ? box.parentWidget()->objectName() : QString();
      box.button(QMessageBox::Yes)->click();
    });
    Find<QPushButton>(shown, 50)->click();
  }, QStringLiteral("dialog-902"));
  EXPECT_EQ(dialog.DoModal(nullptr), kIdOk);
  EXPECT_EQ(dialog.answer, kIdYes);
  EXPECT_EQ(owner, QStringLiteral("dialog-902"));
}

TEST_F(QtBackendTest, FilterNamesAreWrittenAsQtReadsThem) {
  EXPECT_EQ(QtNameFilter({u"PDF文件(*.pdf)", u"*.pdf"}), QStringLiteral("PDF文件 (*.pdf)"));
  EXPECT_EQ(QtNameFilter({u"图片", u"*.png;*.jpg"}), QStringLiteral("图片 (*.png *.jpg)"));
  EXPECT_EQ(QtNameFilter({u"所有文件", u""}), QStringLiteral("所有文件 (*)"));
}

TEST_F(QtBackendTest, TheOpenDialogAnswersTheDirectoryAndEveryNameChosen) {
  const testing::TempDir folder;
  for (const char* name : {"a.pdf", "b.pdf", "c.txt"}) std::ofstream(folder / name) << "x";
  const QString directory = QString::fromStdString(folder.Path().string());
  WhenShown<QFileDialog>([&directory](QFileDialog& shown) {
    EXPECT_EQ(shown.fileMode(), QFileDialog::ExistingFiles);
    EXPECT_EQ(shown.nameFilters(), QStringList{QStringLiteral("PDF文件 (*.pdf)")});
    sealrun::testing::AnswerFileDialog(shown, directory, QStringLiteral("\"a.pdf\" \"b.pdf\""));
  }, kOpenFileDialogName);
  OpenFileRequest request;
  request.filters = {{u"PDF文件(*.pdf)", u"*.pdf"}};
  request.multiSelect = true;
  request.bufferUnits = 4096;
  const auto answer = GetOpenFileName(request);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->directory, folder.Path().u16string());
  EXPECT_EQ(answer->fileNames, (std::vector<std::u16string>{u"a.pdf", u"b.pdf"}));

  WhenShown<QFileDialog>([](QFileDialog& shown) { shown.reject(); }, kOpenFileDialogName);
  EXPECT_FALSE(GetOpenFileName(request)) << "Cancel answers nothing";
}

TEST_F(QtBackendTest, TheSaveDialogAddsTheDefaultExtension) {
  const testing::TempDir folder;
  const QString directory = QString::fromStdString(folder.Path().string());
  WhenShown<QFileDialog>([&directory](QFileDialog& shown) {
    EXPECT_EQ(shown.acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(shown.defaultSuffix(), QStringLiteral("csv"));
    EXPECT_FALSE(shown.testOption(QFileDialog::DontConfirmOverwrite));
    sealrun::testing::AnswerFileDialog(shown, directory, QStringLiteral("结果"));
  }, kSaveFileDialogName);
  SaveFileRequest request;
  request.filters = {{u"CSV(*.csv)", u"*.csv"}};
  request.defaultExtension = u"csv";
  request.initialName = u"验章结果";
  request.promptOverwrite = true;
  const auto answer = GetSaveFileName(request);
  ASSERT_TRUE(answer);
  EXPECT_EQ(*answer, (folder.Path() / u"结果.csv").u16string());
}

TEST_F(QtBackendTest, NoticesGoToTheSinkTheReaderGave) {
  Notify(u"配置文件已恢复");
  EXPECT_EQ(notices_, (std::vector<std::u16string>{u"配置文件已恢复"}));
}

}  // namespace
}  // namespace sealrun::platform::ui::qt
