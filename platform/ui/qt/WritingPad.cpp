#include "platform/ui/qt/WritingPad.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTabletEvent>
#include <algorithm>

namespace sealrun::platform::ui::qt {

WritingPad::WritingPad(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_StaticContents);
  setMinimumSize(240, 120);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  setCursor(Qt::CrossCursor);
}

void WritingPad::SetPenWidth(double width) { penWidth_ = std::clamp(width, 0.5, 40.0); }

void WritingPad::SetBackdrop(QImage picture) {
  backdrop_ = std::move(picture);
  update();
}

void WritingPad::Clear() {
  strokes_.clear();
  writing_ = false;
  backdrop_ = QImage();
  update();
}

void WritingPad::Begin(QPointF at, double pressure) {
  strokes_.push_back({penWidth_, {{at, pressure}}});
  writing_ = true;
  update();
}

void WritingPad::Extend(QPointF at, double pressure) {
  if (!writing_ || strokes_.empty()) return;
  strokes_.back().points.push_back({at, pressure});
  update();
}

void WritingPad::DrawStrokes(QPainter& painter) const {
  painter.setRenderHint(QPainter::Antialiasing);
  for (const Stroke& stroke : strokes_) {
    if (stroke.points.size() == 1) {
      // A tap leaves a dot.
      const double radius = stroke.width * stroke.points.front().pressure / 2;
      painter.setPen(Qt::NoPen);
      painter.setBrush(Qt::black);
      painter.drawEllipse(stroke.points.front().at, radius, radius);
      continue;
    }
    for (size_t i = 1; i < stroke.points.size(); ++i) {
      // The pen's pressure thins or thickens each segment; the mouse presses fully.
      const double pressure = (stroke.points[i - 1].pressure + stroke.points[i].pressure) / 2;
      painter.setPen(QPen(Qt::black, std::max(0.5, stroke.width * pressure), Qt::SolidLine, Qt::RoundCap,
                          Qt::RoundJoin));
      painter.drawLine(stroke.points[i - 1].at, stroke.points[i].at);
    }
  }
}

QImage WritingPad::Render() const {
  QImage picture(size(), QImage::Format_ARGB32);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  DrawStrokes(painter);
  return picture;
}

void WritingPad::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  if (strokes_.empty() && !backdrop_.isNull()) {
    const QImage shown = backdrop_.scaled(size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
    painter.drawImage(QPointF((width() - shown.width()) / 2.0, (height() - shown.height()) / 2.0), shown);
  }
  DrawStrokes(painter);
  painter.setPen(palette().color(QPalette::Mid));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void WritingPad::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) Begin(event->position(), 1.0);
}

void WritingPad::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() & Qt::LeftButton) Extend(event->position(), 1.0);
}

void WritingPad::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) writing_ = false;
}

void WritingPad::tabletEvent(QTabletEvent* event) {
  // Taken here, the pen's events are not repeated as mouse events.
  const double pressure = std::clamp(event->pressure(), 0.1, 1.0);
  switch (event->type()) {
    case QEvent::TabletPress:
      Begin(event->position(), pressure);
      break;
    case QEvent::TabletMove:
      Extend(event->position(), pressure);
      break;
    case QEvent::TabletRelease:
      writing_ = false;
      break;
    default:
      break;
  }
  event->accept();
}

}  // namespace sealrun::platform::ui::qt
