#include "apps/reader/PageRenderer.h"

#include <memory>

#include "apps/reader/PageImages.h"

namespace sealrun::reader {
namespace {

bool SameJob(const PageRenderer::Job& a, const PageRenderer::Job& b) {
  return a.key == b.key && a.generation == b.generation;
}

}  // namespace

PageRenderer::PageRenderer(QString path, QObject* parent)
    : QObject(parent), path_(std::move(path)), worker_([this](std::stop_token stop) { Run(std::move(stop)); }) {}

PageRenderer::~PageRenderer() {
  worker_.request_stop();
  worker_.join();
}

void PageRenderer::Replace(std::vector<Job> jobs) {
  {
    const std::lock_guard lock(mutex_);
    waiting_.clear();
    for (const Job& job : jobs) {
      if (!drawing_ || !SameJob(*drawing_, job)) waiting_.push_back(job);
    }
  }
  wake_.notify_one();
}

void PageRenderer::Run(std::stop_token stop) {
  // The engine lives and dies on this thread: the document is never touched by another one.
  std::unique_ptr<PageImages> document;
  quint64 openedGeneration = 0;
  while (true) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      drawing_.reset();
      if (!wake_.wait(lock, stop, [this] { return !waiting_.empty(); })) return;
      job = waiting_.front();
      waiting_.pop_front();
      drawing_ = job;
    }
    if (!document || openedGeneration != job.generation) {
      document.reset();
      document = std::make_unique<PageImages>(path_);
      openedGeneration = job.generation;
    }
    QImage picture = document->Draw(job.key.pageIndex, job.key.zoom, job.key.rotation);
    if (stop.stop_requested()) return;
    emit PageRendered(job.key.pageIndex, job.key.zoom, job.key.rotation, job.generation, std::move(picture));
  }
}

}  // namespace sealrun::reader
