#pragma once
// One open document: its pages one under the other, laid out exactly as the host's view model lays them out,
// drawn on a thread of their own and kept in a cache. Until a page is drawn a white placeholder stands in.
#include <QAbstractScrollArea>
#include <QImage>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "apps/reader/PageCache.h"
#include "apps/reader/PageLayout.h"
#include "platform/host/PageGeometry.h"

namespace sealrun::reader {

class PageRenderer;

class DocumentView : public QAbstractScrollArea {
  Q_OBJECT

 public:
  // `pageSizes`: each page's displayed size in points (CropBox with /Rotate applied), in page order, as the
  // host's view model holds them. The file at `path` is drawn in the background.
  DocumentView(QString path, std::vector<platform::host::Point> pageSizes, QWidget* parent = nullptr);
  ~DocumentView() override;
  // Reads the file's page sizes itself: null, with the reason in `problem`, when the file does not open.
  static std::unique_ptr<DocumentView> Open(const QString& path, QString* problem);

  const QString& Path() const { return path_; }
  int PageCount() const { return layout_.PageCount(); }
  double Zoom() const { return layout_.Model().Zoom(); }
  int Rotation() const { return layout_.Model().Rotation(); }
  // Zoom factors outside 0.05 to 64 are refused, as the view model refuses them. The page at the top stays.
  void SetZoom(double zoom);
  // Turns the view a quarter clockwise (or back, with a negative count).
  void Turn(int quarters);
  // The scroll in pixels, as the view model's scroll.
  QPoint ScrollOffset() const;
  void ScrollToPage(int pageIndex);
  // The page at the viewport's top.
  int CurrentPage() const;

  // The file changed on disk: it is opened again, the pictures drawn from it are dropped and drawn anew.
  void Reload(std::vector<platform::host::Point> pageSizes);
  // Draws a page on the UI thread: zoom as the engine takes it (1.0: 72 pixels per inch, the screen's pixel
  // ratio included) and the view rotation; a null image when it cannot be drawn.
  using LiveRenderer = std::function<QImage(int pageIndex, double zoom, int rotation)>;
  // Until Reload, pages are drawn by `renderer` (a document with changes not saved yet); the visible pages
  // are drawn again at once.
  void DrawLive(LiveRenderer renderer);

  // Whether the page's picture at the current zoom and rotation is there, and that picture (null otherwise).
  bool IsPageDrawn(int pageIndex) const;
  QImage PagePicture(int pageIndex) const;

 signals:
  void PageDrawn(int pageIndex);
  void PagePressed(QPoint viewportPixel, Qt::MouseButton button);
  void PointerMoved(QPoint viewportPixel);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  // The engine zoom of the pictures for the current view zoom and screen.
  double PictureZoom() const;
  PageKey KeyFor(int pageIndex) const;
  // Runs a change of the layout, keeping the page at the top, and the same spot of it, in view.
  void ChangeLayout(const std::function<void()>& change);
  void UpdateScrollBars();
  // The pages meeting the viewport, first to last (at least the current page).
  std::pair<int, int> VisiblePages() const;
  // Asks for the visible pages, then one on either side, that are not drawn yet.
  void RequestPages();
  void DrawVisibleLive();
  void Rendered(int pageIndex, double zoom, int rotation, quint64 generation, const QImage& picture);
  void Keep(const PageKey& key, QImage picture);

  QString path_;
  PageLayout layout_;
  PageCache& cache_ = SharedPageCache();
  const std::uint64_t id_;  // names this view's pictures in the shared cache
  LiveRenderer live_;
  quint64 generation_ = 0;
  QTimer requestTimer_;  // gathers the requests of one burst of scrolling into one
  std::unique_ptr<PageRenderer> renderer_;
};

}  // namespace sealrun::reader
