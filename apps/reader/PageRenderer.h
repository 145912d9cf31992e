#pragma once
// Draws pages of one file on a thread of its own, with an engine of its own, so that the window never waits
// for the engine. The caller says which pages it wants, most wanted first; each call replaces the pages still
// waiting, so pages scrolled away or drawn at a zoom no longer shown are never drawn.
#include <QImage>
#include <QObject>
#include <QString>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "apps/reader/PageCache.h"

namespace sealrun::reader {

class PageRenderer : public QObject {
  Q_OBJECT

 public:
  struct Job {
    PageKey key;
    // Which opening of the file the page is drawn from: a new number opens the file again (after it changed).
    quint64 generation = 0;
  };

  explicit PageRenderer(QString path, QObject* parent = nullptr);
  // Stops the thread; a page being drawn is finished first, the pages waiting are not drawn.
  ~PageRenderer() override;
  PageRenderer(const PageRenderer&) = delete;
  PageRenderer& operator=(const PageRenderer&) = delete;

  // Replaces the pages waiting to be drawn; a job equal to the one being drawn is left out.
  void Replace(std::vector<Job> jobs);

 signals:
  // Sent from the drawing thread; `picture` is null when the page cannot be drawn.
  void PageRendered(int pageIndex, double zoom, int rotation, quint64 generation, QImage picture);

 private:
  void Run(std::stop_token stop);

  const QString path_;
  std::mutex mutex_;
  std::condition_variable_any wake_;
  std::deque<Job> waiting_;
  std::optional<Job> drawing_;
  std::jthread worker_;  // declared last: it starts once everything above exists
};

}  // namespace sealrun::reader
