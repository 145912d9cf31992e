#include "platform/ui/qt/ControlMirrors.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTableWidget>

#include "platform/imaging/ImageCodec.h"
#include "platform/ui/Controls.h"
#include "platform/ui/ListView.h"
#include "platform/ui/WritingWindow.h"
#include "platform/ui/qt/QtImages.h"
#include "platform/ui/qt/QtText.h"
#include "platform/ui/qt/WritingPad.h"

namespace sealrun::platform::ui::qt {

ControlMirror::ControlMirror(const Window& control, QWidget* widget, Placement placement)
    : handle_(control.Handle()), id_(control.Id()), widget_(widget), placement_(placement) {
  widget_->setObjectName(ControlName(control.Id()));
}

void ControlMirror::Refresh() {
  Window* control = FromHandle(handle_);
  if (control == nullptr) {
    widget_->hide();
    return;
  }
  widget_->setEnabled(control->IsEnabled());
  widget_->setHidden(!control->IsVisible());
  RefreshFrom(*control);
}

namespace {

// Several widgets may not be told about a change they made themselves: a refresh sets them only when the
// control says something else.
void SetTextIfChanged(QLineEdit* edit, const QString& text) {
  if (edit->text() != text) edit->setText(text);
}

// A static text, or a picture (the seal preview) when the control has an image or a size of its own.
class StaticMirror : public ControlMirror {
 public:
  StaticMirror(Static& control, QLabel* label, Placement placement)
      : ControlMirror(control, label, placement), label_(label) {
    const Rect& bounds = control.Bounds();
    if (bounds.Width() > 0 && bounds.Height() > 0) {
      pictureSize_ = QSize(bounds.Width(), bounds.Height());
      label_->setFixedSize(pictureSize_);
      label_->setAlignment(Qt::AlignCenter);
      label_->setFrameShape(QFrame::StyledPanel);
    }
  }

 protected:
  void RefreshFrom(Window& control) override {
    const auto& image = static_cast<Static&>(control).GetImage();
    if (image) {
      if (image.get() == shownImage_) return;
      shownImage_ = image.get();
      QPixmap picture = QPixmap::fromImage(ToQImage(*image));
      if (pictureSize_.isValid())
        picture = picture.scaled(pictureSize_, Qt::KeepAspectRatio, Qt::SmoothTransformation);
      label_->setPixmap(picture);
      return;
    }
    if (shownImage_ != nullptr) {
      shownImage_ = nullptr;
      label_->setPixmap(QPixmap());
    }
    const QString text = ToQString(control.Text());
    if (label_->text() != text) label_->setText(text);
  }

 private:
  QLabel* label_;
  QSize pictureSize_;
  const void* shownImage_ = nullptr;
};

class EditMirror : public ControlMirror {
 public:
  EditMirror(Edit& control, QLineEdit* edit, const MirrorHooks& hooks) : ControlMirror(control, edit, Placement::Field), edit_(edit) {
    if (control.IsPassword()) edit_->setEchoMode(QLineEdit::Password);
    QObject::connect(edit_, &QLineEdit::textEdited, edit_, [this, hooks](const QString& text) {
      if (auto* target = Control<Edit>()) target->Type(FromQString(text));
      hooks.afterAction();
    });
  }

 protected:
  void RefreshFrom(Window& control) override { SetTextIfChanged(edit_, ToQString(control.Text())); }

 private:
  QLineEdit* edit_;
};

// Push buttons, check boxes and radio buttons: a click goes to the control, which decides the checked state.
template <typename Model, typename ButtonWidget>
class ButtonMirror : public ControlMirror {
 public:
  ButtonMirror(Model& control, ButtonWidget* button, Placement placement, const MirrorHooks& hooks)
      : ControlMirror(control, button, placement), button_(button) {
    if constexpr (std::is_same_v<ButtonWidget, QRadioButton>) button_->setAutoExclusive(false);
    if constexpr (!std::is_same_v<ButtonWidget, QPushButton>) button_->setCheckable(true);
    QObject::connect(button_, &QAbstractButton::clicked, button_, [this, hooks] {
      if (auto* target = Control<Model>()) {
        if (hooks.beforeClick) hooks.beforeClick(target->Id());
        // The control may be gone once the hook has run.
        if (auto* still = Control<Model>()) still->Click();
      }
      hooks.afterAction();
    });
  }

 protected:
  void RefreshFrom(Window& control) override {
    const QString text = ToQString(control.Text());
    if (button_->text() != text) button_->setText(text);
    if constexpr (!std::is_same_v<Model, Button>) button_->setChecked(static_cast<Model&>(control).IsChecked());
  }

 private:
  ButtonWidget* button_;
};

class ComboMirror : public ControlMirror {
 public:
  ComboMirror(ComboBox& control, QComboBox* combo, const MirrorHooks& hooks)
      : ControlMirror(control, combo, Placement::Field), combo_(combo) {
    combo_->setEditable(control.AcceptsTypedText());
    combo_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    QObject::connect(combo_, &QComboBox::activated, combo_, [this, hooks](int index) {
      if (auto* target = Control<ComboBox>()) target->Choose(index);
      hooks.afterAction();
    });
    if (combo_->lineEdit() != nullptr) {
      QObject::connect(combo_->lineEdit(), &QLineEdit::textEdited, combo_, [this, hooks](const QString& text) {
        if (auto* target = Control<ComboBox>()) target->Type(FromQString(text));
        hooks.afterAction();
      });
    }
  }

 protected:
  void RefreshFrom(Window& control) override {
    auto& model = static_cast<ComboBox&>(control);
    const QSignalBlocker blocker(combo_);
    bool same = combo_->count() == model.Count();
    for (int i = 0; same && i < model.Count(); ++i) same = combo_->itemText(i) == ToQString(model.ItemText(i));
    if (!same) {
      combo_->clear();
      for (int i = 0; i < model.Count(); ++i) combo_->addItem(ToQString(model.ItemText(i)));
    }
    if (combo_->currentIndex() != model.CurrentSelection()) combo_->setCurrentIndex(model.CurrentSelection());
    if (combo_->lineEdit() != nullptr) SetTextIfChanged(combo_->lineEdit(), ToQString(model.Text()));
  }

 private:
  QComboBox* combo_;
};

class ProgressMirror : public ControlMirror {
 public:
  ProgressMirror(ProgressBar& control, QProgressBar* bar) : ControlMirror(control, bar, Placement::Wide), bar_(bar) {
    bar_->setTextVisible(false);
  }

 protected:
  void RefreshFrom(Window& control) override {
    const auto& model = static_cast<ProgressBar&>(control);
    if (bar_->minimum() != model.Minimum() || bar_->maximum() != model.Maximum())
      bar_->setRange(model.Minimum(), model.Maximum());
    bar_->setValue(model.Position());
  }

 private:
  QProgressBar* bar_;
};

Qt::Alignment AlignmentOf(ListView::Align align) {
  switch (align) {
    case ListView::Align::Center:
      return Qt::AlignCenter;
    case ListView::Align::Right:
      return Qt::AlignRight | Qt::AlignVCenter;
    default:
      return Qt::AlignLeft | Qt::AlignVCenter;
  }
}

// A report list: grid lines, whole rows selected, one at a time.
class ListMirror : public ControlMirror {
 public:
  ListMirror(ListView& control, QTableWidget* table, const MirrorHooks& hooks)
      : ControlMirror(control, table, Placement::Wide), table_(table) {
    table_->setShowGrid(true);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    QObject::connect(table_, &QTableWidget::itemSelectionChanged, table_, [this, hooks] {
      const auto rows = table_->selectionModel()->selectedRows();
      if (auto* target = Control<ListView>(); target && !rows.isEmpty()) target->SelectRow(rows.front().row());
      hooks.afterAction();
    });
    QObject::connect(table_, &QTableWidget::cellDoubleClicked, table_, [this, hooks](int row, int) {
      if (auto* target = Control<ListView>(); target && target->SelectRow(row)) target->DoubleClick();
      hooks.afterAction();
    });
  }

 protected:
  void RefreshFrom(Window& control) override {
    const auto& model = static_cast<ListView&>(control);
    const QSignalBlocker blocker(table_);
    const auto& columns = model.Columns();
    const int columnCount = static_cast<int>(columns.size());
    if (table_->columnCount() != columnCount) {
      table_->setColumnCount(columnCount);
      for (int c = 0; c < columnCount; ++c) {
        const auto& column = columns[static_cast<size_t>(c)];
        auto heading = std::make_unique<QTableWidgetItem>(ToQString(column.heading));
        heading->setTextAlignment(AlignmentOf(column.align));
        table_->setHorizontalHeaderItem(c, heading.release());  // the table owns its items
        if (column.width > 0) table_->setColumnWidth(c, column.width);
      }
    }
    if (table_->rowCount() != model.RowCount()) table_->setRowCount(model.RowCount());
    for (int r = 0; r < model.RowCount(); ++r) {
      for (int c = 0; c < columnCount; ++c) {
        const QString text = ToQString(model.ItemText(r, c));
        if (QTableWidgetItem* item = table_->item(r, c)) {
          if (item->text() != text) item->setText(text);
          continue;
        }
        auto item = std::make_unique<QTableWidgetItem>(text);
        item->setTextAlignment(AlignmentOf(columns[static_cast<size_t>(c)].align));
        table_->setItem(r, c, item.release());  // the table owns its items
      }
      const bool selected = model.ItemState(r, kLvisSelected) != 0;
      if (table_->selectionModel()->isRowSelected(r, {}) != selected) {
        table_->selectionModel()->select(table_->model()->index(r, 0),
                                         (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                                             QItemSelectionModel::Rows);
      }
    }
  }

 private:
  QTableWidget* table_;
};

double PenWidthOf(const Window& pad) {
  const auto* window = dynamic_cast<const WritingWindow*>(pad.Parent());
  if (window == nullptr) return 3.0;
  const std::u16string& name = window->Setup().penWidthSetting;
  for (const auto& setting : window->Settings()) {
    if (setting.name != name) continue;
    bool ok = false;
    const double width = ToQString(setting.value).trimmed().toDouble(&ok);
    if (ok && width > 0) return width;
  }
  return 3.0;
}

// Widgets made here are owned by `parent` (the dialog's widget tree), as Qt does.
template <typename Widget>
Widget* Make(QWidget* parent) {
  return new Widget(parent);
}

}  // namespace

PadMirror::PadMirror(const Window& control, WritingPad* pad) : ControlMirror(control, pad, Placement::Top), pad_(pad) {}

std::vector<uint8_t> PadMirror::Picture() const {
  if (!pad_->HasStrokes()) return {};
  const auto image = FromQImage(pad_->Render());
  if (!image) return {};
  const auto png = imaging::EncodePng(*image);
  if (!png) return {};
  return std::vector<uint8_t>(png->begin(), png->end());
}

void PadMirror::RefreshFrom(Window& control) {
  pad_->SetPenWidth(PenWidthOf(control));
  const auto& image = static_cast<Static&>(control).GetImage();
  if (image.get() == shownImage_) return;
  shownImage_ = image.get();
  pad_->SetBackdrop(image ? ToQImage(*image) : QImage());
}

std::unique_ptr<ControlMirror> MirrorControl(Window& control, QWidget* parent, const MirrorHooks& hooks) {
  if (control.Id() == kWritingPadId && dynamic_cast<WritingWindow*>(control.Parent()) != nullptr)
    return std::make_unique<PadMirror>(control, Make<WritingPad>(parent));
  if (auto* list = dynamic_cast<ListView*>(&control))
    return std::make_unique<ListMirror>(*list, Make<QTableWidget>(parent), hooks);
  if (auto* bar = dynamic_cast<ProgressBar*>(&control))
    return std::make_unique<ProgressMirror>(*bar, Make<QProgressBar>(parent));
  if (auto* combo = dynamic_cast<ComboBox*>(&control))
    return std::make_unique<ComboMirror>(*combo, Make<QComboBox>(parent), hooks);
  if (auto* edit = dynamic_cast<Edit*>(&control))
    return std::make_unique<EditMirror>(*edit, Make<QLineEdit>(parent), hooks);
  if (auto* radio = dynamic_cast<RadioButton*>(&control))
    return std::make_unique<ButtonMirror<RadioButton, QRadioButton>>(*radio, Make<QRadioButton>(parent),
                                                                      Placement::Choice, hooks);
  if (auto* check = dynamic_cast<CheckBox*>(&control))
    return std::make_unique<ButtonMirror<CheckBox, QCheckBox>>(*check, Make<QCheckBox>(parent), Placement::Wide, hooks);
  if (auto* button = dynamic_cast<Button*>(&control)) {
    const bool action = control.Id() == kIdOk || control.Id() == kIdCancel;
    auto* push = Make<QPushButton>(parent);
    if (control.Id() == kIdOk) push->setDefault(true);
    return std::make_unique<ButtonMirror<Button, QPushButton>>(*button, push,
                                                               action ? Placement::Action : Placement::Wide, hooks);
  }
  if (auto* label = dynamic_cast<Static*>(&control)) {
    const bool picture = label->GetImage() != nullptr ||
                         (label->Text().empty() && label->Bounds().Width() > 0 && label->Bounds().Height() > 0);
    return std::make_unique<StaticMirror>(*label, Make<QLabel>(parent), picture ? Placement::Side : Placement::Caption);
  }
  return nullptr;
}

}  // namespace sealrun::platform::ui::qt
