#pragma once
// The pages of one PDF file as pictures for the screen, drawn by the engine. One object is one engine
// context: use it from one thread at a time.
#include <QImage>
#include <QString>
#include <vector>

#include "external/QpHandles.h"
#include "platform/host/PageGeometry.h"

namespace sealrun::reader {

// A loaded engine page at `zoom` (1.0: 72 pixels per inch) turned clockwise by `rotation` degrees, on the calling
// thread; a null image when the page cannot be drawn.
QImage DrawEnginePage(qp_page page, double zoom, int rotation);

class PageImages {
 public:
  // Opens the file with an engine of its own; Opened() says whether it worked, Problem() why not.
  explicit PageImages(const QString& path);

  bool Opened() const { return document_ != nullptr; }
  const QString& Problem() const { return problem_; }
  int PageCount() const;
  // Each page's displayed size in points (CropBox with /Rotate applied), as the host's view model holds them.
  std::vector<platform::host::Point> PageSizes() const;
  // The page at `zoom` (1.0: 72 pixels per inch) turned clockwise by `rotation` degrees; a null image when the
  // page cannot be drawn.
  QImage Draw(int pageIndex, double zoom, int rotation) const;

 private:
  external::EngineHandle engine_;
  external::DocumentHandle document_;
  QString problem_;
};

}  // namespace sealrun::reader
