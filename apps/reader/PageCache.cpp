#include "apps/reader/PageCache.h"

#include <iterator>
#include <utility>

namespace sealrun::reader {
namespace {

// What an entry costs besides its pixels, so that pages that cannot be drawn count as well.
constexpr std::size_t kEntryOverhead = 256;

}  // namespace

const QImage* PageCache::Use(const PageKey& key) {
  const auto found = index_.find(key);
  if (found == index_.end()) return nullptr;
  entries_.splice(entries_.begin(), entries_, found->second);
  return &found->second->picture;
}

const QImage* PageCache::Peek(const PageKey& key) const {
  const auto found = index_.find(key);
  return found == index_.end() ? nullptr : &found->second->picture;
}

void PageCache::Insert(const PageKey& key, QImage picture) {
  if (const auto found = index_.find(key); found != index_.end()) Drop(found->second);
  const std::size_t bytes = static_cast<std::size_t>(picture.sizeInBytes()) + kEntryOverhead;
  entries_.push_front(Entry{key, std::move(picture), bytes});
  index_.emplace(key, entries_.begin());
  bytes_ += bytes;
  while (bytes_ > capacity_ && entries_.size() > 1) Drop(std::prev(entries_.end()));
}

void PageCache::Clear() {
  index_.clear();
  entries_.clear();
  bytes_ = 0;
}

void PageCache::Forget(std::uint64_t view) {
  for (auto entry = entries_.begin(); entry != entries_.end();) {
    const auto next = std::next(entry);
    if (entry->key.view == view) Drop(entry);
    entry = next;
  }
}

PageCache& SharedPageCache() {
  static PageCache shared;
  return shared;
}

void PageCache::Drop(std::list<Entry>::iterator entry) {
  bytes_ -= entry->bytes;
  index_.erase(entry->key);
  entries_.erase(entry);
}

}  // namespace sealrun::reader
