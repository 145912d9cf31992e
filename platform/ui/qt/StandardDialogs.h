#pragma once
// Message boxes and file dialogs as Qt shows them, answered as the window system answers.
#include <QString>
#include <optional>
#include <string>

#include "platform/ui/Backend.h"

class QWidget;

namespace sealrun::platform::ui::qt {

// The objectNames of the file dialogs, so tests can find and answer them.
inline const QString kOpenFileDialogName = QStringLiteral("sealrun-open-file");
inline const QString kSaveFileDialogName = QStringLiteral("sealrun-save-file");

// The box with the buttons and icon of the style bits; returns the kId of the button pressed.
int RunMessageBox(QWidget* owner, const MessageBoxRequest& request);

// A filter as Qt writes it: "PDF文件 (*.pdf)"; Windows separates patterns with ';', Qt with spaces.
QString QtNameFilter(const FileFilter& filter);

std::optional<OpenFileAnswer> RunOpenFileDialog(QWidget* owner, const OpenFileRequest& request, bool native);
std::optional<std::u16string> RunSaveFileDialog(QWidget* owner, const SaveFileRequest& request, bool native);

}  // namespace sealrun::platform::ui::qt
