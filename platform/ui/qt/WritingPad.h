#pragma once
// The pad of the writing window: records what the user writes with a pen (tablet) or the mouse and draws
// it; what was written becomes a picture on demand.
#include <QImage>
#include <QPointF>
#include <QWidget>
#include <vector>

namespace sealrun::platform::ui::qt {

class WritingPad : public QWidget {
  Q_OBJECT

 public:
  explicit WritingPad(QWidget* parent = nullptr);

  void SetPenWidth(double width);
  double PenWidth() const { return penWidth_; }
  // A picture shown while nothing is written (what the window's pad already holds).
  void SetBackdrop(QImage picture);
  void Clear();
  bool HasStrokes() const { return !strokes_.empty(); }
  // What was written, in black on a transparent ground, at the pad's size.
  QImage Render() const;

  QSize sizeHint() const override { return {400, 200}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void tabletEvent(QTabletEvent* event) override;

 private:
  struct Point {
    QPointF at;
    double pressure = 1.0;
  };
  struct Stroke {
    double width = 3.0;
    std::vector<Point> points;
  };
  void Begin(QPointF at, double pressure);
  void Extend(QPointF at, double pressure);
  void DrawStrokes(QPainter& painter) const;

  std::vector<Stroke> strokes_;
  bool writing_ = false;
  double penWidth_ = 3.0;
  QImage backdrop_;
};

}  // namespace sealrun::platform::ui::qt
