#include "apps/reader/PageImages.h"

#include <algorithm>
#include <cstring>

#include "platform/host/DocumentCore.h"

namespace sealrun::reader {
namespace {

// A page that keeps the engine busy longer than this is shown as one that cannot be drawn, so that a hostile
// file neither holds the other pages back nor delays closing its view for long.
constexpr std::uint32_t kDrawBudgetMs = 20000;

}  // namespace

QImage DrawEnginePage(qp_page page, double zoom, int rotation) {
  int width = 0;
  int height = 0;
  if (qp_page_render(page, zoom, rotation, nullptr, 0, &width, &height) != QP_OK) return {};
  QImage image(width, height, QImage::Format_RGB888);
  if (image.isNull()) return {};
  // The engine writes rows without padding; the image's rows may be padded, so each row is drawn apart.
  std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * height * 3);
  if (qp_page_render(page, zoom, rotation, pixels.data(), pixels.size(), &width, &height) != QP_OK) return {};
  for (int row = 0; row < height; ++row) {
    std::memcpy(image.scanLine(row), pixels.data() + static_cast<std::size_t>(row) * width * 3,
                static_cast<std::size_t>(width) * 3);
  }
  return image;
}

PageImages::PageImages(const QString& path) : engine_(external::StartEngine()) {
  if (!engine_) {
    problem_ = QStringLiteral("the PDF engine did not start");
    return;
  }
  const int opened = external::OpenDocument(engine_.get(), path.toStdU16String(), document_);
  if (opened != QP_OK) problem_ = QStringLiteral("the file cannot be opened (engine result %1)").arg(opened);
}

int PageImages::PageCount() const { return document_ ? std::max(qp_page_count(document_.get()), 0) : 0; }

std::vector<platform::host::Point> PageImages::PageSizes() const {
  std::vector<platform::host::Point> sizes;
  for (int i = 0; i < PageCount(); ++i) {
    const platform::host::PageGeometry geometry = platform::host::ReadPageGeometry(document_.get(), i);
    sizes.push_back({geometry.Width(), geometry.Height()});
  }
  return sizes;
}

QImage PageImages::Draw(int pageIndex, double zoom, int rotation) const {
  if (!document_) return {};
  const external::FileTimeBudget budget(engine_.get(), kDrawBudgetMs);
  const external::PageHandle page = external::LoadPage(document_.get(), pageIndex);
  if (!page) return {};
  return DrawEnginePage(page.get(), zoom, rotation);
}

}  // namespace sealrun::reader
