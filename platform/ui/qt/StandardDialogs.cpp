#include "platform/ui/qt/StandardDialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <array>
#include <utility>

#include "platform/ui/qt/QtText.h"

namespace sealrun::platform::ui::qt {
namespace {

// The button sets of the low four style bits, with the answers the window system gives for them.
constexpr int kIdAbort = 3;
constexpr int kIdRetry = 4;
constexpr int kIdIgnore = 5;
constexpr int kIdTryAgain = 10;
constexpr int kIdContinue = 11;

struct ButtonChoice {
  QMessageBox::StandardButton button;
  int answer;
};

std::vector<ButtonChoice> ButtonsOf(uint32_t style) {
  switch (style & 0xF) {
    case kMbOkCancel:
      return {{QMessageBox::Ok, kIdOk}, {QMessageBox::Cancel, kIdCancel}};
    case 0x2:  // abort, retry, ignore
      return {{QMessageBox::Abort, kIdAbort}, {QMessageBox::Retry, kIdRetry}, {QMessageBox::Ignore, kIdIgnore}};
    case 0x3:  // yes, no, cancel
      return {{QMessageBox::Yes, kIdYes}, {QMessageBox::No, kIdNo}, {QMessageBox::Cancel, kIdCancel}};
    case kMbYesNo:
      return {{QMessageBox::Yes, kIdYes}, {QMessageBox::No, kIdNo}};
    case 0x5:  // retry, cancel
      return {{QMessageBox::Retry, kIdRetry}, {QMessageBox::Cancel, kIdCancel}};
    case 0x6:  // cancel, try again, continue
      return {{QMessageBox::Cancel, kIdCancel}, {QMessageBox::Retry, kIdTryAgain}, {QMessageBox::Ignore, kIdContinue}};
    default:
      return {{QMessageBox::Ok, kIdOk}};
  }
}

QMessageBox::Icon IconOf(uint32_t style) {
  switch (style & 0xF0) {
    case kMbIconError:
      return QMessageBox::Critical;
    case kMbIconQuestion:
      return QMessageBox::Question;
    case kMbIconWarning:
      return QMessageBox::Warning;
    case kMbIconInformation:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

QStringList NameFilters(const std::vector<FileFilter>& filters) {
  QStringList result;
  for (const auto& filter : filters) result << QtNameFilter(filter);
  return result;
}

}  // namespace

int RunMessageBox(QWidget* owner, const MessageBoxRequest& request) {
  QMessageBox box(IconOf(request.style), ToQString(request.caption), ToQString(request.text), QMessageBox::NoButton,
                  owner);
  const std::vector<ButtonChoice> choices = ButtonsOf(request.style);
  std::vector<std::pair<QAbstractButton*, int>> buttons;
  for (const auto& choice : choices) buttons.emplace_back(box.addButton(choice.button), choice.answer);
  // The default button: the first unless MB_DEFBUTTON2/3 ask for another.
  const size_t defaultIndex = std::min<size_t>((request.style >> 8) & 0xF, buttons.size() - 1);
  box.setDefaultButton(qobject_cast<QPushButton*>(buttons[defaultIndex].first));
  // Escape and the close box answer Cancel where there is one, OK on a box that has only OK; a Yes/No box
  // cannot be closed without an answer.
  QAbstractButton* escape = nullptr;
  for (const auto& [button, answer] : buttons)
    if (answer == kIdCancel || (buttons.size() == 1 && answer == kIdOk)) escape = button;
  if (escape) box.setEscapeButton(escape);
  box.exec();
  const QAbstractButton* clicked = box.clickedButton();
  for (const auto& [button, answer] : buttons)
    if (button == clicked) return answer;
  return escape ? (buttons.size() == 1 ? kIdOk : kIdCancel) : kIdCancel;
}

QString QtNameFilter(const FileFilter& filter) {
  QString description = ToQString(filter.description).trimmed();
  // "PDF文件(*.pdf)" already names its patterns; Qt reads only the last parenthesis, so it is rebuilt.
  if (const qsizetype open = description.lastIndexOf(u'('); open > 0 && description.endsWith(u')'))
    description = description.left(open).trimmed();
  QStringList patterns = ToQString(filter.pattern).split(u';', Qt::SkipEmptyParts);
  for (QString& pattern : patterns) pattern = pattern.trimmed();
  if (patterns.isEmpty()) patterns << QStringLiteral("*");
  return QStringLiteral("%1 (%2)").arg(description, patterns.join(u' '));
}

std::optional<OpenFileAnswer> RunOpenFileDialog(QWidget* owner, const OpenFileRequest& request, bool native) {
  QFileDialog dialog(owner);
  dialog.setObjectName(kOpenFileDialogName);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setOption(QFileDialog::DontUseNativeDialog, !native);
  if (request.multiSelect)
    dialog.setFileMode(QFileDialog::ExistingFiles);
  else
    dialog.setFileMode(request.fileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  if (!request.filters.empty()) dialog.setNameFilters(NameFilters(request.filters));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return std::nullopt;
  OpenFileAnswer answer;
  answer.directory = FromQString(QDir::toNativeSeparators(QFileInfo(chosen.front()).absolutePath()));
  for (const QString& path : chosen) answer.fileNames.push_back(FromQString(QFileInfo(path).fileName()));
  return answer;
}

std::optional<std::u16string> RunSaveFileDialog(QWidget* owner, const SaveFileRequest& request, bool native) {
  QFileDialog dialog(owner);
  dialog.setObjectName(kSaveFileDialogName);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontUseNativeDialog, !native);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.promptOverwrite);
  if (!request.filters.empty()) dialog.setNameFilters(NameFilters(request.filters));
  QString extension = ToQString(request.defaultExtension);
  while (extension.startsWith(u'.')) extension.remove(0, 1);
  if (!extension.isEmpty()) dialog.setDefaultSuffix(extension);
  if (!request.initialName.empty()) dialog.selectFile(ToQString(request.initialName));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return std::nullopt;
  return FromQString(QDir::toNativeSeparators(chosen.front()));
}

}  // namespace sealrun::platform::ui::qt
