#include "apps/reader/PageImages.h"

#include <cstring>
#include <vector>

namespace sealrun::reader {

PageImages::PageImages(const QString& path) : engine_(external::StartEngine()) {
  if (!engine_) {
    problem_ = QStringLiteral("the PDF engine did not start");
    return;
  }
  const int opened = external::OpenDocument(engine_.get(), path.toStdU16String(), document_);
  if (opened != QP_OK) problem_ = QStringLiteral("the file cannot be opened (engine result %1)").arg(opened);
}

int PageImages::PageCount() const { return document_ ? qp_page_count(document_.get()) : 0; }

QImage PageImages::Draw(int pageIndex, double zoom, int rotation) const {
  const external::PageHandle page = external::LoadPage(document_.get(), pageIndex);
  if (!page) return {};
  int width = 0;
  int height = 0;
  if (qp_page_render(page.get(), zoom, rotation, nullptr, 0, &width, &height) != QP_OK) return {};
  QImage image(width, height, QImage::Format_RGB888);
  if (image.isNull()) return {};
  // The engine writes rows without padding; the image's rows may be padded, so each row is drawn apart.
  std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * height * 3);
  if (qp_page_render(page.get(), zoom, rotation, pixels.data(), pixels.size(), &width, &height) != QP_OK) return {};
  for (int row = 0; row < height; ++row) {
    std::memcpy(image.scanLine(row), pixels.data() + static_cast<std::size_t>(row) * width * 3,
                static_cast<std::size_t>(width) * 3);
  }
  return image;
}

}  // namespace sealrun::reader
