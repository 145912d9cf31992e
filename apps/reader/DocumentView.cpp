#include "apps/reader/DocumentView.h"

#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

namespace sealrun::reader {

DocumentView::DocumentView(std::unique_ptr<PageImages> pages, QString path, QWidget* parent)
    : QScrollArea(parent), pages_(std::move(pages)), path_(std::move(path)) {
  content_ = new QWidget(this);  // owned by the scroll area from setWidget on
  layout_ = new QVBoxLayout(content_);
  layout_->setAlignment(Qt::AlignHCenter);
  layout_->setSpacing(8);
  for (int i = 0; i < pages_->PageCount(); ++i) {
    auto* label = new QLabel(content_);
    label->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    layout_->addWidget(label);
    labels_.push_back(label);
  }
  setWidget(content_);
  setWidgetResizable(true);
  setBackgroundRole(QPalette::Dark);
  DrawPages();
}

QPixmap DocumentView::PagePicture(int pageIndex) const {
  if (pageIndex < 0 || pageIndex >= PageCount()) return {};
  return labels_[static_cast<std::size_t>(pageIndex)]->pixmap();
}

void DocumentView::SetZoom(double zoom) {
  if (zoom <= 0 || zoom == zoom_) return;
  zoom_ = zoom;
  DrawPages();
}

void DocumentView::Turn(int quarters) {
  rotation_ = (((rotation_ + 90 * quarters) % 360) + 360) % 360;
  DrawPages();
}

void DocumentView::DrawPages() {
  for (int i = 0; i < PageCount(); ++i) {
    const QImage image = pages_->Draw(i, zoom_, rotation_);
    QLabel* label = labels_[static_cast<std::size_t>(i)];
    if (image.isNull()) {
      label->setText(tr("page %1 cannot be drawn").arg(i + 1));
    } else {
      label->setPixmap(QPixmap::fromImage(image));
    }
  }
}

}  // namespace sealrun::reader
