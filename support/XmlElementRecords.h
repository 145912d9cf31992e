#pragma once
// The element index of an XmlDocument: records in blocks of up to 65536, so a large document never needs one
// huge array and growing never copies more than one block. A block is reserved only as far as the document
// needs, which keeps small documents cheap.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sealrun::support {

inline constexpr std::uint8_t kXmlEmptyTag = 0x01;   // written as a single "<name/>" tag
inline constexpr std::uint8_t kXmlIllFormed = 0x02;  // an unended element; on record 0, the whole document

// Offsets and lengths count UTF-16 units of the document text; indexes refer to other records, 0 meaning none
// (record 0 itself is the virtual root whose first child is the first top-level element).
struct XmlElementRecord {
  std::size_t offset;
  std::size_t length;
  std::size_t startTagLength;
  std::size_t endTagLength;
  std::uint32_t parent;
  std::uint32_t firstChild;
  std::uint32_t nextSibling;
  std::uint32_t previousSibling;
  std::uint8_t flags;
};

class XmlElementRecords {
 public:
  static constexpr std::size_t kBlockSize = 65536;
  static constexpr std::uint32_t kMaxRecords = 0xFFFFFFF0u;

  // Drops every record but keeps (or grows) the reserved room to at least `minimumCapacity`, then adds the root.
  void Reset(std::size_t minimumCapacity);
  // Drops every record and block.
  void Release();
  // Appends a zeroed record and returns its index, or 0 when the index space is exhausted. References to records
  // may move when a record is added.
  std::uint32_t Add();

  XmlElementRecord& operator[](std::uint32_t index) { return blocks_[index / kBlockSize][index % kBlockSize]; }
  const XmlElementRecord& operator[](std::uint32_t index) const { return blocks_[index / kBlockSize][index % kBlockSize]; }

  // Elements of the document, not counting the virtual root.
  std::size_t Count() const { return used_ == 0 ? 0 : used_ - 1; }
  // Records that fit without reserving more room.
  std::size_t Capacity() const;
  // Records including the root (the next index Add would return).
  std::uint32_t Used() const { return used_; }

 private:
  std::vector<std::vector<XmlElementRecord>> blocks_;
  std::uint32_t used_ = 0;
};

}  // namespace sealrun::support
