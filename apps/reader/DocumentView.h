#pragma once
// One open document: its pages one under the other in a scrolling area, at the view's zoom and rotation.
#include <QScrollArea>
#include <QString>
#include <memory>
#include <vector>

#include "apps/reader/PageImages.h"

class QLabel;
class QVBoxLayout;

namespace sealrun::reader {

class DocumentView : public QScrollArea {
  Q_OBJECT

 public:
  DocumentView(std::unique_ptr<PageImages> pages, QString path, QWidget* parent = nullptr);

  const QString& Path() const { return path_; }
  int PageCount() const { return static_cast<int>(labels_.size()); }
  double Zoom() const { return zoom_; }
  int Rotation() const { return rotation_; }
  // The picture shown for a page (null before it is drawn).
  QPixmap PagePicture(int pageIndex) const;

  void SetZoom(double zoom);
  // Turns the view a quarter clockwise (or back, with a negative count).
  void Turn(int quarters);

 private:
  void DrawPages();

  std::unique_ptr<PageImages> pages_;
  QString path_;
  double zoom_ = 1.0;
  int rotation_ = 0;
  QWidget* content_ = nullptr;
  QVBoxLayout* layout_ = nullptr;
  std::vector<QLabel*> labels_;  // owned by content_
};

}  // namespace sealrun::reader
