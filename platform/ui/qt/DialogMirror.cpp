#include "platform/ui/qt/DialogMirror.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "platform/ui/Controls.h"
#include "platform/ui/WritingWindow.h"
#include "platform/ui/qt/QtText.h"
#include "platform/ui/qt/WritingPad.h"

namespace sealrun::platform::ui::qt {
namespace {

// Messages a tick delivers at most, so a message that posts another cannot hold the window.
constexpr int kMessagesPerTick = 64;
constexpr int kPumpIntervalMs = 20;

bool PumpQueue() {
  bool delivered = false;
  for (int i = 0; i < kMessagesPerTick && PumpOneMessage(); ++i) delivered = true;
  return delivered;
}

}  // namespace

DialogMirror::DialogMirror(Dialog& model, QWidget* parent) : QDialog(parent), handle_(model.Handle()) {
  setObjectName(QStringLiteral("dialog-%1").arg(model.TemplateId()));
  // The owner takes no input while the dialog is up, as DoModal disables it.
  setWindowModality(Qt::ApplicationModal);
  BuildControls(model);
  LayOut();
  pump_.setInterval(kPumpIntervalMs);
  connect(&pump_, &QTimer::timeout, this, [this] { PumpAndRefresh(); });
  Refresh();
}

DialogMirror::~DialogMirror() = default;

Dialog* DialogMirror::Model() const { return dynamic_cast<Dialog*>(FromHandle(handle_)); }

bool DialogMirror::ModelEnded() const {
  const Dialog* model = Model();
  return model == nullptr || !model->IsRunning();
}

void DialogMirror::BuildControls(Dialog& model) {
  MirrorHooks hooks;
  hooks.beforeClick = [this](int id) { BeforeClick(id); };
  hooks.afterAction = [this] { AfterUserAction(); };
  for (const auto& child : model.Children())
    if (auto mirror = MirrorControl(*child, this, hooks)) controls_.push_back(std::move(mirror));
}

void DialogMirror::LayOut() {
  auto* form = new QGridLayout;  // each layout is owned by the one it is added to, the outer one by the dialog
  auto* side = new QVBoxLayout;
  auto* top = new QVBoxLayout;
  auto* actions = new QHBoxLayout;
  actions->addStretch();
  int row = 0;
  for (size_t i = 0; i < controls_.size(); ++i) {
    ControlMirror& control = *controls_[i];
    switch (control.Where()) {
      case Placement::Side:
        side->addWidget(control.Widget(), 0, Qt::AlignTop | Qt::AlignHCenter);
        continue;
      case Placement::Top:
        top->addWidget(control.Widget(), 1);
        continue;
      case Placement::Action:
        actions->addWidget(control.Widget());
        continue;
      default:
        break;
    }
    // A caption or a radio button names the field right after it: they share a row.
    const bool heads = control.Where() == Placement::Caption || control.Where() == Placement::Choice;
    if (heads && i + 1 < controls_.size() && controls_[i + 1]->Where() == Placement::Field) {
      form->addWidget(control.Widget(), row, 0);
      form->addWidget(controls_[i + 1]->Widget(), row, 1);
      ++i;
    } else if (control.Where() == Placement::Field) {
      form->addWidget(control.Widget(), row, 1);
    } else if (qobject_cast<QAbstractButton*>(control.Widget()) != nullptr) {
      // Buttons and boxes keep their own width, so only their text and box take clicks.
      form->addWidget(control.Widget(), row, 0, 1, 2, Qt::AlignLeft);
    } else {
      form->addWidget(control.Widget(), row, 0, 1, 2);
    }
    ++row;
  }
  form->setColumnStretch(1, 1);
  side->addStretch();
  auto* body = new QHBoxLayout;
  auto* left = new QVBoxLayout;
  left->addLayout(form);
  left->addStretch();
  body->addLayout(left, 1);
  body->addLayout(side);
  auto* outer = new QVBoxLayout(this);
  // The pad, when there is one, takes the room the window gains; otherwise the form does (a growing list).
  const bool hasTop = top->count() > 0;
  outer->addLayout(top, hasTop ? 1 : 0);
  outer->addLayout(body, hasTop ? 0 : 1);
  outer->addLayout(actions);
}

void DialogMirror::Refresh() {
  if (const Dialog* model = Model()) {
    const QString caption = ToQString(model->Text());
    if (windowTitle() != caption) setWindowTitle(caption);
  }
  for (const auto& control : controls_) control->Refresh();
}

void DialogMirror::PumpAndRefresh() {
  if (PumpQueue()) Refresh();
  if (ModelEnded()) done(QDialog::Accepted);
}

void DialogMirror::AfterUserAction() {
  PumpQueue();
  Refresh();
  if (ModelEnded()) done(QDialog::Accepted);
}

void DialogMirror::RunModalLoop() {
  Refresh();
  if (ModelEnded()) return;
  inModalLoop_ = true;
  pump_.start();
  exec();
  pump_.stop();
  inModalLoop_ = false;
  hide();
}

PadMirror* DialogMirror::Pad() const {
  for (const auto& control : controls_)
    if (auto* pad = dynamic_cast<PadMirror*>(control.get())) return pad;
  return nullptr;
}

void DialogMirror::BeforeClick(int id) {
  auto* window = dynamic_cast<WritingWindow*>(Model());
  PadMirror* pad = Pad();
  if (window == nullptr || pad == nullptr) return;
  if (id == kWritingClearId) {
    pad->Pad()->Clear();
  } else if (id == kIdOk && pad->Pad()->HasStrokes()) {
    // What was written goes to the window as a picture before OK is handled.
    const std::vector<uint8_t> picture = pad->Picture();
    window->Write(picture);
  }
}

void DialogMirror::closeEvent(QCloseEvent* event) {
  if (ModelEnded()) {
    event->accept();
    return;
  }
  // The title bar's close button: the model decides (refused while its close item is greyed).
  event->ignore();
  if (Dialog* model = Model()) model->Close();
  AfterUserAction();
}

void DialogMirror::reject() {
  if (ModelEnded()) {
    QDialog::reject();
    return;
  }
  // Escape is the Cancel button where there is one (refused while it is disabled), else the close item.
  if (Dialog* model = Model()) {
    if (auto* cancel = model->ChildAs<Button>(kIdCancel))
      cancel->Click();
    else
      model->Close();
  }
  AfterUserAction();
}

}  // namespace sealrun::platform::ui::qt
