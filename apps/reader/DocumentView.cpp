#include "apps/reader/DocumentView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "apps/reader/PageImages.h"
#include "apps/reader/PageRenderer.h"

namespace sealrun::reader {
namespace {

using platform::host::Point;
using platform::host::ViewModel;

// A page's picture holds at most this many pixels: beyond it (a high zoom) the picture is drawn at a lower
// zoom and stretched, rather than holding gigabytes for one page.
constexpr double kMaxPicturePixels = 24.0 * 1024 * 1024;
constexpr double kWheelZoomStep = 1.25;
constexpr int kLineStep = 40;

// Views are told apart in the shared cache by a number no other view of the process had.
std::uint64_t NextViewId() {
  static std::uint64_t last = 0;
  return ++last;
}

}  // namespace

DocumentView::DocumentView(QString path, std::vector<Point> pageSizes, QWidget* parent)
    : QAbstractScrollArea(parent),
      path_(std::move(path)),
      id_(NextViewId()),
      renderer_(std::make_unique<PageRenderer>(path_)) {
  layout_.SetPages(std::move(pageSizes));
  setBackgroundRole(QPalette::Dark);
  viewport()->setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  requestTimer_.setSingleShot(true);
  requestTimer_.setInterval(0);
  connect(&requestTimer_, &QTimer::timeout, this, &DocumentView::RequestPages);
  connect(renderer_.get(), &PageRenderer::PageRendered, this, &DocumentView::Rendered, Qt::QueuedConnection);
  UpdateScrollBars();
  requestTimer_.start();
}

// The renderer goes first (the last member): its thread is joined before the view it reports to is gone.
DocumentView::~DocumentView() { cache_.Forget(id_); }

std::unique_ptr<DocumentView> DocumentView::Open(const QString& path, QString* problem) {
  const PageImages pages(path);
  if (!pages.Opened()) {
    if (problem != nullptr) *problem = pages.Problem();
    return nullptr;
  }
  return std::make_unique<DocumentView>(path, pages.PageSizes());
}

void DocumentView::SetZoom(double zoom) {
  if (zoom == Zoom()) return;
  ChangeLayout([&] { layout_.SetZoom(zoom); });
}

void DocumentView::Turn(int quarters) {
  ChangeLayout([&] { layout_.SetRotation(Rotation() + 90 * quarters); });
}

QPoint DocumentView::ScrollOffset() const {
  return {horizontalScrollBar()->value(), verticalScrollBar()->value()};
}

void DocumentView::ScrollToPage(int pageIndex) {
  if (PageCount() == 0) return;
  const QRectF page = layout_.PageRect(std::clamp(pageIndex, 0, PageCount() - 1));
  // Half the gap above stays in view, so the page before is clearly not the one at the top.
  verticalScrollBar()->setValue(std::max(0, static_cast<int>(std::floor(page.top() - ViewModel::kGap / 2))));
}

int DocumentView::CurrentPage() const { return layout_.PageAt(ScrollOffset().y()); }

void DocumentView::Reload(std::vector<Point> pageSizes) {
  live_ = nullptr;
  ++generation_;  // pictures of the old file still on their way are dropped
  cache_.Forget(id_);
  ChangeLayout([&] { layout_.SetPages(std::move(pageSizes)); });
}

void DocumentView::DrawLive(LiveRenderer renderer) {
  live_ = std::move(renderer);
  ++generation_;
  cache_.Forget(id_);
  renderer_->Replace({});
  DrawVisibleLive();
  viewport()->update();
}

bool DocumentView::IsPageDrawn(int pageIndex) const {
  if (pageIndex < 0 || pageIndex >= PageCount()) return false;
  const QImage* picture = cache_.Peek(KeyFor(pageIndex));
  return picture != nullptr && !picture->isNull();
}

QImage DocumentView::PagePicture(int pageIndex) const {
  if (pageIndex < 0 || pageIndex >= PageCount()) return {};
  const QImage* picture = cache_.Peek(KeyFor(pageIndex));
  return picture != nullptr ? *picture : QImage();
}

void DocumentView::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  painter.fillRect(event->rect(), palette().color(QPalette::Dark));
  if (PageCount() == 0) return;
  const QPointF scroll = ScrollOffset();
  const auto [first, last] = VisiblePages();
  for (int i = first; i <= last; ++i) {
    const QRectF rect = layout_.PageRect(i).translated(-scroll);
    if (!rect.intersects(QRectF(event->rect()))) continue;
    const QImage* picture = cache_.Use(KeyFor(i));
    if (picture != nullptr && !picture->isNull()) {
      const QSizeF shown = picture->deviceIndependentSize();
      const bool exact = std::abs(shown.width() - rect.width()) < 1 && std::abs(shown.height() - rect.height()) < 1;
      // A picture of the page's own size is copied as it is; one drawn smaller (a very high zoom) is stretched.
      if (exact) {
        painter.drawImage(rect.topLeft(), *picture);
      } else {
        painter.drawImage(rect, *picture);
      }
      continue;
    }
    painter.fillRect(rect, Qt::white);
    painter.setPen(QColor(160, 160, 160));
    painter.drawRect(rect.adjusted(0, 0, -1, -1));
    if (picture != nullptr) {
      painter.setPen(Qt::darkRed);
      painter.drawText(rect, Qt::AlignCenter, tr("page %1 cannot be drawn").arg(i + 1));
    }
  }
}

void DocumentView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBars();
  requestTimer_.start();
}

void DocumentView::scrollContentsBy(int dx, int dy) {
  viewport()->scroll(dx, dy);
  requestTimer_.start();
}

void DocumentView::keyPressEvent(QKeyEvent* event) {
  QScrollBar* bar = verticalScrollBar();
  switch (event->key()) {
    case Qt::Key_PageUp:
      bar->triggerAction(QAbstractSlider::SliderPageStepSub);
      break;
    case Qt::Key_PageDown:
      bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
      break;
    case Qt::Key_Home:
      bar->setValue(bar->minimum());
      break;
    case Qt::Key_End:
      bar->setValue(bar->maximum());
      break;
    default:
      QAbstractScrollArea::keyPressEvent(event);
      return;
  }
  event->accept();
}

void DocumentView::wheelEvent(QWheelEvent* event) {
  if (!(event->modifiers() & Qt::ControlModifier)) {
    QAbstractScrollArea::wheelEvent(event);
    return;
  }
  const double steps = event->angleDelta().y() / 120.0;
  if (steps != 0) SetZoom(std::clamp(Zoom() * std::pow(kWheelZoomStep, steps), 0.05, 64.0));
  event->accept();
}

void DocumentView::mousePressEvent(QMouseEvent* event) {
  emit PagePressed(event->position().toPoint(), event->button());
  event->accept();
}

void DocumentView::mouseMoveEvent(QMouseEvent* event) {
  emit PointerMoved(event->position().toPoint());
  event->accept();
}

double DocumentView::PictureZoom() const { return Zoom() * ViewModel::kPixelsPerPoint * devicePixelRatioF(); }

PageKey DocumentView::KeyFor(int pageIndex) const {
  const QRectF rect = layout_.PageRect(pageIndex);
  const double ratio = devicePixelRatioF();
  const double pixels = rect.width() * rect.height() * ratio * ratio;
  const double zoom = pixels > kMaxPicturePixels ? PictureZoom() * std::sqrt(kMaxPicturePixels / pixels) : PictureZoom();
  return {pageIndex, zoom, Rotation(), id_};
}

void DocumentView::ChangeLayout(const std::function<void()>& change) {
  const QPointF scroll = ScrollOffset();
  const int page = CurrentPage();
  QPointF within;  // the spot of the page at the viewport's top-left, as fractions of the page
  if (page >= 0) {
    const QRectF rect = layout_.PageRect(page);
    within = {(scroll.x() - rect.left()) / rect.width(), (scroll.y() - rect.top()) / rect.height()};
  }
  change();
  UpdateScrollBars();
  if (page >= 0 && PageCount() > 0) {
    const QRectF rect = layout_.PageRect(std::min(page, PageCount() - 1));
    horizontalScrollBar()->setValue(static_cast<int>(std::lround(rect.left() + within.x() * rect.width())));
    verticalScrollBar()->setValue(static_cast<int>(std::lround(rect.top() + within.y() * rect.height())));
  }
  viewport()->update();
  RequestPages();
}

void DocumentView::UpdateScrollBars() {
  const QSize view = viewport()->size();
  const QSizeF content = layout_.ContentSize();
  const auto setUp = [](QScrollBar* bar, double contentLength, int viewLength) {
    bar->setRange(0, std::max(0, static_cast<int>(std::ceil(contentLength)) - viewLength));
    bar->setPageStep(std::max(1, viewLength));
    bar->setSingleStep(kLineStep);
  };
  setUp(horizontalScrollBar(), content.width(), view.width());
  setUp(verticalScrollBar(), content.height(), view.height());
}

std::pair<int, int> DocumentView::VisiblePages() const {
  // Rows top to bottom - 1 are in view; a page starting inside the last row shows in it.
  const int top = ScrollOffset().y();
  const int bottom = top + std::max(1, viewport()->height());
  const int first = layout_.PageAt(top);
  int last = layout_.PageAt(bottom - 1);
  if (last > first && layout_.PageRect(last).top() >= bottom) --last;
  return {first, last};
}

void DocumentView::RequestPages() {
  requestTimer_.stop();
  if (PageCount() == 0) return;
  if (live_) {
    DrawVisibleLive();
    return;
  }
  const auto [first, last] = VisiblePages();
  std::vector<PageRenderer::Job> jobs;
  const auto want = [&](int pageIndex) {
    if (pageIndex < 0 || pageIndex >= PageCount()) return;
    const PageKey key = KeyFor(pageIndex);
    if (cache_.Peek(key) == nullptr) jobs.push_back({key, generation_});
  };
  for (int i = first; i <= last; ++i) want(i);
  want(last + 1);
  want(first - 1);
  renderer_->Replace(std::move(jobs));
}

void DocumentView::DrawVisibleLive() {
  if (PageCount() == 0) return;
  const auto [first, last] = VisiblePages();
  for (int i = first; i <= last; ++i) {
    const PageKey key = KeyFor(i);
    if (cache_.Peek(key) == nullptr) Keep(key, live_(i, key.zoom, key.rotation));
  }
}

void DocumentView::Rendered(int pageIndex, double zoom, int rotation, quint64 generation, const QImage& picture) {
  // Pictures of an older opening of the file, or from it while the live document draws, are no longer true.
  if (generation != generation_ || live_ || pageIndex >= PageCount()) return;
  Keep({pageIndex, zoom, rotation, id_}, picture);
}

void DocumentView::Keep(const PageKey& key, QImage picture) {
  if (!picture.isNull()) picture.setDevicePixelRatio(devicePixelRatioF());
  const bool drawn = !picture.isNull();
  cache_.Insert(key, std::move(picture));
  if (key != KeyFor(key.pageIndex)) return;  // drawn for a zoom or rotation since left; kept for a return
  viewport()->update(layout_.PageRect(key.pageIndex).translated(-QPointF(ScrollOffset())).toAlignedRect());
  if (drawn) emit PageDrawn(key.pageIndex);
}

}  // namespace sealrun::reader
