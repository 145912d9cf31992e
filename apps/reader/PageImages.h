#pragma once
// The pages of one PDF file as pictures for the screen, drawn by the engine.
#include <QImage>
#include <QString>

#include "external/QpHandles.h"

namespace sealrun::reader {

class PageImages {
 public:
  // Opens the file with an engine of its own; Opened() says whether it worked, Problem() why not.
  explicit PageImages(const QString& path);

  bool Opened() const { return document_ != nullptr; }
  const QString& Problem() const { return problem_; }
  int PageCount() const;
  // The page at `zoom` (1.0: 72 pixels per inch) turned clockwise by `rotation` degrees; a null image when the
  // page cannot be drawn.
  QImage Draw(int pageIndex, double zoom, int rotation) const;

 private:
  external::EngineHandle engine_;
  external::DocumentHandle document_;
  QString problem_;
};

}  // namespace sealrun::reader
