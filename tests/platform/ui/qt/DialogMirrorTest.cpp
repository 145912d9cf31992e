// Dialog models shown as real widgets: the user's actions on the widgets run the model's own logic through
// its commands, the widgets follow the model, and the window closes when the model ends.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <memory>
#include <utility>
#include <vector>

#include "platform/ui/Controls.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/ListView.h"
#include "tests/platform/ui/qt/QtBackendFixture.h"

namespace sealrun::platform::ui::qt {
namespace {

constexpr int kNameLabel = 1001;
constexpr int kNameEdit = 1002;
constexpr int kPinEdit = 1003;
constexpr int kPreview = 1004;
constexpr int kFinish = 1005;
constexpr int kRemember = 1006;
constexpr int kByTemplate = 1007;
constexpr int kByText = 1008;
constexpr int kSeals = 1009;
constexpr int kWidths = 1010;
constexpr int kFiles = 1011;

// A dialog with every kind of control. Typing "off" in the name disables Finish; Finish ends with 42.
class EveryControlDialog : public Dialog {
 public:
  EveryControlDialog() : Dialog(900, u"批量签章") {
    AddChild(std::make_unique<Static>(kNameLabel, u"名称"));
    name = AddChild(std::make_unique<Edit>(kNameEdit));
    AddChild(std::make_unique<Edit>(kPinEdit, Edit::Kind::Password));
    preview = AddChild(std::make_unique<Static>(kPreview));
    preview->Move({0, 0, 120, 120});
    finish = AddChild(std::make_unique<Button>(kFinish, u"完成"));
    AddChild(std::make_unique<CheckBox>(kRemember, u"记住密码"));
    byTemplate = AddChild(std::make_unique<RadioButton>(kByTemplate, u"印模选择", 1));
    byText = AddChild(std::make_unique<RadioButton>(kByText, u"文字定位", 1));
    seals = AddChild(std::make_unique<ComboBox>(kSeals));
    AddChild(std::make_unique<ComboBox>(kWidths, ComboBox::Kind::DropDown));
    files = AddChild(std::make_unique<ListView>(kFiles));
    AddChild(std::make_unique<Button>(kIdOk, u"确定"));
    AddChild(std::make_unique<Button>(kIdCancel, u"取消"));
  }

  Edit* name;
  Static* preview;
  Button* finish;
  RadioButton* byTemplate;
  RadioButton* byText;
  ComboBox* seals;
  ListView* files;
  std::vector<std::pair<int, int>> commands;  // (id, code) as OnCommand saw them

 protected:
  void OnInitDialog() override {
    seals->AddString(u"演示公章");
    seals->AddString(u"演示合同章");
    seals->SetCurrentSelection(0);
    byTemplate->Select();
    files->InsertColumn(0, {u"文件", 200, ListView::Align::Left});
    files->InsertColumn(1, {u"结果", 80, ListView::Align::Center});
    files->InsertRow(0, u"a.pdf");
    files->SetItemText(0, 1, u"成功");
    files->InsertRow(1, u"b.pdf");
    auto picture = imaging::Image::Create(240, 120, 24);
    picture->SetPixel(10, 10, {255, 0, 0, 255});
    preview->SetImage(std::make_shared<const imaging::Image>(std::move(*picture)));
  }

  void OnCommand(int id, int code) override {
    commands.emplace_back(id, code);
    if (id == kNameEdit && code == kEnChange) finish->Enable(name->Text() != u"off");
    if (id == kFinish) EndDialog(42);
    Dialog::OnCommand(id, code);
  }
};

TEST_F(QtBackendTest, EveryControlKindHasItsWidgetFilledFromTheModel) {
  EveryControlDialog dialog;
  WhenShown<QDialog>([](QDialog& shown) {
    EXPECT_EQ(shown.windowTitle(), QStringLiteral("批量签章"));
    EXPECT_EQ(Find<QLabel>(shown, kNameLabel)->text(), QStringLiteral("名称"));
    EXPECT_EQ(Find<QLineEdit>(shown, kPinEdit)->echoMode(), QLineEdit::Password);
    EXPECT_EQ(Find<QLineEdit>(shown, kNameEdit)->echoMode(), QLineEdit::Normal);
    const QPixmap preview = Find<QLabel>(shown, kPreview)->pixmap();
    EXPECT_EQ(preview.size(), QSize(120, 60)) << "the picture fits the control's size, proportions kept";
    auto* seals = Find<QComboBox>(shown, kSeals);
    EXPECT_FALSE(seals->isEditable());
    EXPECT_EQ(seals->count(), 2);
    EXPECT_EQ(seals->currentText(), QStringLiteral("演示公章"));
    EXPECT_TRUE(Find<QComboBox>(shown, kWidths)->isEditable());
    EXPECT_TRUE(Find<QRadioButton>(shown, kByTemplate)->isChecked());
    auto* files = Find<QTableWidget>(shown, kFiles);
    EXPECT_TRUE(files->showGrid());
    EXPECT_EQ(files->selectionBehavior(), QAbstractItemView::SelectRows);
    ASSERT_EQ(files->rowCount(), 2);
    EXPECT_EQ(files->horizontalHeaderItem(1)->text(), QStringLiteral("结果"));
    EXPECT_EQ(files->item(0, 1)->text(), QStringLiteral("成功"));
    EXPECT_EQ(files->item(1, 1)->text(), QString());
    QTest::mouseClick(Find<QPushButton>(shown, kIdCancel), Qt::LeftButton);
  });
  EXPECT_EQ(dialog.DoModal(nullptr), kIdCancel);
}

TEST_F(QtBackendTest, UserActionsRunTheModelsLogicAndTheWidgetsFollow) {
  EveryControlDialog dialog;
  WhenShown<QDialog>([&dialog](QDialog& shown) {
    auto* name = Find<QLineEdit>(shown, kNameEdit);
    QTest::keyClicks(name, QStringLiteral("off"));
    EXPECT_EQ(dialog.name->Text(), u"off");
    EXPECT_FALSE(dialog.finish->IsEnabled());
    EXPECT_FALSE(Find<QPushButton>(shown, kFinish)->isEnabled()) << "disabled in OnCommand, disabled on screen";
    QTest::keyClick(name, Qt::Key_Backspace);
    EXPECT_TRUE(Find<QPushButton>(shown, kFinish)->isEnabled());

    QTest::mouseClick(Find<QRadioButton>(shown, kByText), Qt::LeftButton);
    EXPECT_TRUE(dialog.byText->IsChecked());
    EXPECT_FALSE(dialog.byTemplate->IsChecked());
    EXPECT_FALSE(Find<QRadioButton>(shown, kByTemplate)->isChecked()) << "a radio click clears its group";
    QTest::mouseClick(Find<QRadioButton>(shown, kByText), Qt::LeftButton);
    EXPECT_TRUE(Find<QRadioButton>(shown, kByText)->isChecked()) << "clicking a checked radio keeps it checked";

    QTest::mouseClick(Find<QCheckBox>(shown, kRemember), Qt::LeftButton);
    EXPECT_TRUE(dialog.ChildAs<CheckBox>(kRemember)->IsChecked());

    auto* seals = Find<QComboBox>(shown, kSeals);
    seals->setCurrentIndex(1);
    emit seals->activated(1);  // what the popup sends when the user picks an entry
    EXPECT_EQ(dialog.seals->CurrentSelection(), 1);

    auto* files = Find<QTableWidget>(shown, kFiles);
    files->selectRow(1);
    EXPECT_EQ(dialog.files->NextItem(0, kLvisSelected), 1);
    QTest::mouseClick(Find<QPushButton>(shown, kFinish), Qt::LeftButton);
  });
  EXPECT_EQ(dialog.DoModal(nullptr), 42) << "EndDialog closes the window with its result";
  const std::vector<std::pair<int, int>> expected = {{kNameEdit, kEnChange}, {kNameEdit, kEnChange},
                                                     {kNameEdit, kEnChange}, {kNameEdit, kEnChange},
                                                     {kByText, kBnClicked},  {kByText, kBnClicked},
                                                     {kRemember, kBnClicked}, {kSeals, kCbnSelChange},
                                                     {kFinish, kBnClicked}};
  EXPECT_EQ(dialog.commands, expected);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the window is gone with the model";
}

TEST_F(QtBackendTest, TheTitleBarCloseButtonObeysTheModel) {
  EveryControlDialog dialog;
  dialog.EnableCloseCommand(false);
  WhenShown<QDialog>([&dialog](QDialog& shown) {
    shown.close();
    EXPECT_TRUE(dialog.IsRunning()) << "refused while the close item is greyed";
    EXPECT_TRUE(shown.isVisible());
    dialog.EnableCloseCommand(true);
    shown.close();
  });
  EXPECT_EQ(dialog.DoModal(nullptr), kIdCancel);
}

// A batch run inside OnInitDialog, as the verify and remove dialogs run theirs: OK is disabled meanwhile.
class BatchRunDialog : public Dialog {
 public:
  BatchRunDialog() : Dialog(901, u"批量验章") {
    bar = AddChild(std::make_unique<ProgressBar>(77));
    ok = AddChild(std::make_unique<Button>(kIdOk, u"确定"));
  }
  ProgressBar* bar;
  Button* ok;
  std::vector<int> shownPositions;
  bool shownDuringRun = true;
  QDialog* runWindow = nullptr;
  bool okUsableDuringRun = false;

 protected:
  void OnInitDialog() override {
    ok->Enable(false);
    bar->SetRange(0, 5);
    for (int i = 1; i <= 5; ++i) {
      bar->SetPosition(i);
      auto* mirror = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      auto* widget = mirror ? mirror->findChild<QProgressBar*>(ControlName(77)) : nullptr;
      shownDuringRun = shownDuringRun && mirror && mirror->isVisible();
      if (runWindow == nullptr) runWindow = mirror;
      shownPositions.push_back(widget ? widget->value() : -1);
      if (auto* button = mirror ? mirror->findChild<QPushButton*>(ControlName(kIdOk)) : nullptr)
        okUsableDuringRun = okUsableDuringRun || button->isEnabled();
    }
    ok->Enable(true);
  }
};

TEST_F(QtBackendTest, ARunInsideInitialisationShowsTheDialogAndMovesItsBar) {
  BatchRunDialog dialog;
  // The user waits for the run to end, then clicks OK in the window the run showed.
  WhenShown<QDialog>(
      [&dialog](QDialog& shown) {
        EXPECT_EQ(&shown, dialog.runWindow) << "the window of the run is the modal one";
        EXPECT_EQ(Find<QProgressBar>(shown, 77)->value(), 5);
        QTest::mouseClick(Find<QPushButton>(shown, kIdOk), Qt::LeftButton);
      },
      {}, [&dialog](QDialog&) { return dialog.ok->IsEnabled(); });
  EXPECT_EQ(dialog.DoModal(nullptr), kIdOk);
  EXPECT_TRUE(dialog.shownDuringRun);
  EXPECT_EQ(dialog.shownPositions, (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_FALSE(dialog.okUsableDuringRun);
}

}  // namespace
}  // namespace sealrun::platform::ui::qt
