#pragma once
// Drawn pages kept for the screen, bounded in bytes: when a new picture does not fit, the pictures used
// least recently go first. The views of one window share one cache (SharedPageCache), so however many files
// are open the pictures stay within one budget.
#include <QImage>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <list>
#include <map>

namespace sealrun::reader {

// One drawing of a page: its index, the engine's zoom (pixel ratio included), the view rotation and the view
// it was drawn for.
struct PageKey {
  int pageIndex = 0;
  double zoom = 1.0;
  int rotation = 0;
  std::uint64_t view = 0;
  auto operator<=>(const PageKey&) const = default;
};

class PageCache {
 public:
  static constexpr std::size_t kDefaultCapacity = std::size_t{192} << 20;

  explicit PageCache(std::size_t capacityBytes = kDefaultCapacity) : capacity_(capacityBytes) {}

  // The picture and marks it used now; null when the page is not kept. A kept null image is a page that
  // cannot be drawn.
  const QImage* Use(const PageKey& key);
  // The picture without marking it used.
  const QImage* Peek(const PageKey& key) const;
  // Keeps the picture as the most recently used one, then drops the least recently used others until the
  // total fits (the newest stays even when it alone is larger).
  void Insert(const PageKey& key, QImage picture);
  void Clear();
  // Drops the pictures of one view (its file changed, or it closed).
  void Forget(std::uint64_t view);
  std::size_t Bytes() const { return bytes_; }
  std::size_t Count() const { return entries_.size(); }

 private:
  struct Entry {
    PageKey key;
    QImage picture;
    std::size_t bytes = 0;
  };
  void Drop(std::list<Entry>::iterator entry);

  std::size_t capacity_;
  std::size_t bytes_ = 0;
  std::list<Entry> entries_;  // most recently used first
  std::map<PageKey, std::list<Entry>::iterator> index_;
};

// The cache the views of this process share, used from the UI thread only.
PageCache& SharedPageCache();

}  // namespace sealrun::reader
