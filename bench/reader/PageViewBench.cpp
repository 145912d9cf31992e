// The reader's page view, on Qt's offscreen platform, with the largest file of the corpus (185 pages) and a
// 14-page paper:
// - FirstPage: open the file (its page sizes read on the UI thread), show the view, spin the event loop until
//   page 0 is drawn; FirstPageGivenSizes the same when the host already knows the page sizes.
// - ScrollFrame: one viewport-high step down, the UI thread's handling and the repaint, with the pages on
//   screen drawn before each step; ScrollFrameWhileDrawing the same without waiting, the drawing thread busy.
// - ScrollUntilDrawn: a step down until every page in view is drawn: one screen while reading (the pages
//   around were drawn ahead), and a jump of two screens onto pages not drawn yet.
// Times are wall-clock (manual time); take the minimum over the repetitions on a busy machine.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include "apps/reader/DocumentView.h"
#include "apps/reader/PageImages.h"
#include "platform/host/ViewModel.h"

namespace {

using sealrun::platform::host::Point;
using sealrun::platform::host::ViewModel;
using sealrun::reader::DocumentView;
using Clock = std::chrono::steady_clock;

const char* const kFiles[] = {"texlive-bxjscls.pdf", "pdfjs-tracemonkey.pdf"};
constexpr int kWidth = 900;
constexpr int kHeight = 1000;

QString CorpusFile(int which) {
  const char* env = std::getenv("SEALRUN_CORPUS");
  const QString folder = QString::fromUtf8(env != nullptr ? env : SEALRUN_BENCH_CORPUS);
  return folder + QStringLiteral("/") + QString::fromUtf8(kFiles[which]);
}

// Spins the event loop, sleeping while nothing happens, until `done` holds (or a minute passed).
template <typename Done>
bool SpinUntil(Done done) {
  QElapsedTimer elapsed;
  elapsed.start();
  QTimer wake;  // the loop never sleeps longer than this
  wake.start(50);
  while (!done()) {
    if (elapsed.hasExpired(60000)) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}

// The pages meeting the viewport, first and last, by the host's own view model.
std::pair<int, int> VisiblePages(const DocumentView& view, const std::vector<Point>& sizes) {
  ViewModel model;
  model.SetPages(sizes);
  model.SetZoom(view.Zoom());
  model.SetRotation(view.Rotation());
  model.SetScroll({static_cast<double>(view.ScrollOffset().x()), static_cast<double>(view.ScrollOffset().y())});
  const int first = view.CurrentPage();
  int last = first;
  while (last + 1 < view.PageCount() && model.PageToPixel(last + 1, {0, 0}).value_or(Point{}).y < view.viewport()->height()) {
    ++last;
  }
  return {first, last};
}

bool Drawn(const DocumentView& view, int first, int last) {
  for (int i = std::max(first, 0); i <= std::min(last, view.PageCount() - 1); ++i) {
    if (!view.IsPageDrawn(i)) return false;
  }
  return true;
}

bool VisiblePagesDrawn(const DocumentView& view, const std::vector<Point>& sizes) {
  const auto [first, last] = VisiblePages(view, sizes);
  return Drawn(view, first, last);
}

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

void FirstPage(benchmark::State& state, bool sizesKnown) {
  const QString path = CorpusFile(static_cast<int>(state.range(0)));
  const std::vector<Point> sizes = sealrun::reader::PageImages(path).PageSizes();
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    std::unique_ptr<DocumentView> view =
        sizesKnown ? std::make_unique<DocumentView>(path, sizes) : DocumentView::Open(path, nullptr);
    if (!view) {
      state.SkipWithError("the file does not open");
      return;
    }
    view->resize(kWidth, kHeight);
    view->show();
    if (!SpinUntil([&] { return view->IsPageDrawn(0); })) {
      state.SkipWithError("page 0 was never drawn");
      break;
    }
    state.SetIterationTime(Seconds(start));
  }
  state.SetLabel(kFiles[state.range(0)]);
}

// A shown view with its first screen drawn, and the page sizes for checking what is in view.
struct ShownView {
  explicit ShownView(int which) : path(CorpusFile(which)), sizes(sealrun::reader::PageImages(path).PageSizes()) {
    view = std::make_unique<DocumentView>(path, sizes);
    view->resize(kWidth, kHeight);
    view->show();
    SpinUntil([&] { return VisiblePagesDrawn(*view, sizes); });
  }
  QScrollBar& Bar() const { return *view->verticalScrollBar(); }
  // Back to the top once the end is reached, drawn again before the next step.
  void RewindAtEnd() {
    if (Bar().value() + Bar().pageStep() <= Bar().maximum()) return;
    Bar().setValue(0);
    SpinUntil([&] { return VisiblePagesDrawn(*view, sizes); });
  }

  QString path;
  std::vector<Point> sizes;
  std::unique_ptr<DocumentView> view;
};

void ScrollFrame(benchmark::State& state, bool waitForPages) {
  ShownView shown(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    if (waitForPages) {
      shown.RewindAtEnd();
    } else if (shown.Bar().value() == shown.Bar().maximum()) {
      shown.Bar().setValue(0);
    }
    const Clock::time_point start = Clock::now();
    shown.Bar().setValue(shown.Bar().value() + shown.Bar().pageStep());
    shown.view->viewport()->repaint();
    QCoreApplication::processEvents();  // the pending requests and updates
    state.SetIterationTime(Seconds(start));
    if (waitForPages && !SpinUntil([&] { return VisiblePagesDrawn(*shown.view, shown.sizes); })) {
      state.SkipWithError("the pages in view were never drawn");
      break;
    }
  }
  state.SetLabel(kFiles[state.range(0)]);
}

// `screens`: how many viewport heights one step goes. With `coldCache` the file is reloaded before each step
// (every picture dropped) and the pages beside the screen are drawn first, so that the step lands on pages
// nobody asked for yet; otherwise the pages drawn ahead while reading are used.
void ScrollUntilDrawn(benchmark::State& state, int screens, bool coldCache) {
  ShownView shown(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    if (shown.Bar().value() + screens * shown.Bar().pageStep() > shown.Bar().maximum()) shown.Bar().setValue(0);
    if (coldCache) shown.view->Reload(shown.sizes);
    const auto [first, last] = VisiblePages(*shown.view, shown.sizes);
    if (!SpinUntil([&] { return Drawn(*shown.view, coldCache ? first - 1 : first, coldCache ? last + 1 : last); })) {
      state.SkipWithError("the pages in and beside the view were never drawn");
      break;
    }
    const Clock::time_point start = Clock::now();
    shown.Bar().setValue(shown.Bar().value() + screens * shown.Bar().pageStep());
    if (!SpinUntil([&] { return VisiblePagesDrawn(*shown.view, shown.sizes); })) {
      state.SkipWithError("the pages in view were never drawn");
      break;
    }
    state.SetIterationTime(Seconds(start));
  }
  state.SetLabel(kFiles[state.range(0)]);
}

double Min(const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); }

void Configure(benchmark::internal::Benchmark* bench) {
  bench->DenseRange(0, 1)->UseManualTime()->Unit(benchmark::kMillisecond)->Repetitions(5)->ComputeStatistics("min", Min);
}

BENCHMARK_CAPTURE(FirstPage, Open, false)->Apply(Configure);
BENCHMARK_CAPTURE(FirstPage, GivenSizes, true)->Apply(Configure);
BENCHMARK_CAPTURE(ScrollFrame, PagesDrawn, true)->Apply(Configure);
BENCHMARK_CAPTURE(ScrollFrame, WhileDrawing, false)->Apply(Configure);
BENCHMARK_CAPTURE(ScrollUntilDrawn, OneScreenDrawnAhead, 1, false)->Apply(Configure);
BENCHMARK_CAPTURE(ScrollUntilDrawn, TwoScreensCold, 2, true)->Apply(Configure);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
