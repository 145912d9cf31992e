#include "support/XmlElementRecords.h"

#include <algorithm>

namespace sealrun::support {

void XmlElementRecords::Reset(std::size_t minimumCapacity) {
  used_ = 0;
  for (auto& block : blocks_) block.clear();
  std::size_t room = 0;
  for (std::size_t b = 0; room < minimumCapacity; ++b) {
    if (b == blocks_.size()) blocks_.emplace_back();
    blocks_[b].reserve(std::min(kBlockSize, minimumCapacity - room));
    room += blocks_[b].capacity();
  }
  Add();
}

void XmlElementRecords::Release() {
  blocks_.clear();
  used_ = 0;
}

std::size_t XmlElementRecords::Capacity() const {
  std::size_t capacity = 0;
  for (const auto& block : blocks_) capacity += block.capacity();
  return capacity;
}

std::uint32_t XmlElementRecords::Add() {
  if (used_ >= kMaxRecords) return 0;
  const std::size_t b = used_ / kBlockSize;
  if (b == blocks_.size()) blocks_.emplace_back();
  auto& block = blocks_[b];
  // Grow by doubling, but never past the block size.
  if (block.size() == block.capacity()) block.reserve(std::min(kBlockSize, std::max<std::size_t>(64, block.capacity() * 2)));
  block.push_back(XmlElementRecord{});
  return used_++;
}

}  // namespace sealrun::support
