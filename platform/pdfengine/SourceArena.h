#pragma once
// Memory for the parsed sources a document keeps, handed out in order from large blocks and let go all at once:
// a long document keeps hundreds of small trees, and an allocation or two for each cost more than parsing it.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <span>
#include <type_traits>
#include <vector>

namespace sealrun::platform::pdfengine {

class SourceArena {
 public:
  SourceArena() = default;
  SourceArena(const SourceArena&) = delete;
  SourceArena& operator=(const SourceArena&) = delete;

  // A copy of `items` that lives as long as the arena.
  template <typename T>
  std::span<const T> Copy(std::span<const T> items) {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
    if (items.empty()) return {};
    void* place = Allocate(items.size_bytes(), alignof(T));
    std::memcpy(place, items.data(), items.size_bytes());
    return {static_cast<const T*>(place), items.size()};
  }

 private:
  static constexpr std::size_t kBlockSize = 64 * 1024;

  void* Allocate(std::size_t size, std::size_t alignment) {
    std::size_t at = (used_ + alignment - 1) / alignment * alignment;
    if (blocks_.empty() || at + size > blockSize_) {
      // A piece larger than a block gets a block of its own size.
      blockSize_ = std::max(kBlockSize, size);
      blocks_.push_back(std::make_unique_for_overwrite<std::byte[]>(blockSize_));
      at = 0;
    }
    used_ = at + size;
    return blocks_.back().get() + at;
  }

  std::vector<std::unique_ptr<std::byte[]>> blocks_;
  std::size_t blockSize_ = 0;  // of the last block
  std::size_t used_ = 0;       // bytes handed out of the last block
};

}  // namespace sealrun::platform::pdfengine
