#pragma once
// The text each resource object writes into the document fingerprint, by object number, kept for one
// computation: the pages of a document share their fonts, images and graphics states.
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>

namespace sealrun::verify {

class ResourceTexts {
 public:
  const std::string* Find(std::int64_t number) const {
    const auto found = texts_.find(number);
    return found == texts_.end() ? nullptr : &found->second;
  }
  void Keep(std::int64_t number, std::string text) {
    if (bytes_ + text.size() > kTotalLimit) return;
    bytes_ += text.size();
    texts_.emplace(number, std::move(text));
  }
  void Clear() {
    texts_.clear();
    bytes_ = 0;
  }
  // A larger text (an image, mostly) is written again from the file for every page that shows it: copying
  // it would cost about as much as reading it.
  static constexpr std::size_t EntryLimit() { return kEntryLimit; }

 private:
  static constexpr std::size_t kEntryLimit = 64 * 1024;
  static constexpr std::size_t kTotalLimit = 64 * 1024 * 1024;
  std::unordered_map<std::int64_t, std::string> texts_;
  std::size_t bytes_ = 0;
};

}  // namespace sealrun::verify
