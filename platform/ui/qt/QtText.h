#pragma once
// UTF-16 text of the models to and from QString (both are UTF-16, so nothing is lost).
#include <QString>
#include <string>
#include <string_view>

namespace sealrun::platform::ui::qt {

inline QString ToQString(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::u16string FromQString(const QString& text) { return text.toStdU16String(); }

// The objectName of the widget that mirrors the control with this id, so tests and screenshots find it.
inline QString ControlName(int id) { return QStringLiteral("ctl-%1").arg(id); }

}  // namespace sealrun::platform::ui::qt
