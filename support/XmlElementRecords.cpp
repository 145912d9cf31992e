#include "support/XmlElementRecords.h"

namespace sealrun::support {

void XmlElementRecords::Reset(std::size_t minimumCapacity) {
  used_ = 0;
  // Blocks are left uninitialised: a record is zeroed when it is added, and most of a block is never touched.
  while (Capacity() < minimumCapacity) blocks_.push_back(std::make_unique_for_overwrite<XmlElementRecord[]>(kBlockSize));
  Add();
}

void XmlElementRecords::Release() {
  blocks_.clear();
  used_ = 0;
}

std::uint32_t XmlElementRecords::Add() {
  if (used_ >= kMaxRecords) return 0;
  if (used_ >= Capacity()) blocks_.push_back(std::make_unique_for_overwrite<XmlElementRecord[]>(kBlockSize));
  const std::uint32_t index = used_++;
  (*this)[index] = XmlElementRecord{};
  return index;
}

}  // namespace sealrun::support
