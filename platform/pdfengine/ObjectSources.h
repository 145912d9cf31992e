#pragma once
// Where an object's source is, and its bytes: at a file offset from the cross-reference, or at its place in a
// decoded object stream. One per document: the file and its object streams do not change while it is open,
// so each object's source is parsed once and kept (the fonts and images of one page are those of the next),
// decoded object streams are kept, and the file bytes last read serve the next object when it lies in them.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/pdfengine/Internal.h"
#include "platform/pdfengine/SourceTree.h"

namespace sealrun::platform::pdfengine {

class ObjectSources {
 public:
  ObjectSources(fz_context* ctx, pdf_document* doc) : ctx_(ctx), doc_(doc) {}
  ObjectSources(const ObjectSources&) = delete;
  ObjectSources& operator=(const ObjectSources&) = delete;

  pdf_document* Document() const { return doc_; }

  // The parsed source of object `number`; null when it has none that reads as an object: made in memory, in an
  // object stream that cannot be decoded, or bytes that do not parse. Shared: it outlives the cache's clearing.
  std::shared_ptr<const SourceTree> Load(int number);

  // The whole file when the engine's stream read it in one go at open (see FileStream.h); empty otherwise.
  std::span<const unsigned char> WholeFile();

  // A buffer of `size` bytes for stream data read from the file, kept with the document so that walking
  // stream after stream allocates it once.
  unsigned char* DataBuffer(std::size_t size) {
    if (dataBuffer_.size() < size) dataBuffer_.resize(size);
    return dataBuffer_.data();
  }

 private:
  // The sources kept since the cache was last let go, with the arena their nodes live in. A source handed out
  // shares ownership of all of them, so it outlives the cache's clearing.
  struct KeptSources {
    SourceArena arena;
    std::deque<SourceTree> trees;
  };
  struct ObjectStream {
    std::vector<unsigned char> bytes;
    std::vector<std::pair<int, std::size_t>> objects;  // number and start, in the order of the stream's header
  };

  bool Parse(int number, SourceTree& tree);
  bool LoadFromFile(int number, std::int64_t offset, SourceTree& tree);
  bool LoadFromObjectStream(int number, int streamNumber, SourceTree& tree);
  const ObjectStream* DecodedObjectStream(int streamNumber);
  std::unique_ptr<ObjectStream> Decode(int streamNumber);
  // Makes the window hold the file from `offset` on for at least `length` bytes (fewer at the end of the file).
  bool Read(std::int64_t offset, std::size_t length);

  fz_context* ctx_;
  pdf_document* doc_;
  std::unordered_map<int, std::unique_ptr<ObjectStream>> objectStreams_;  // null: could not be decoded
  std::size_t decodedBytes_ = 0;
  std::shared_ptr<KeptSources> kept_;
  std::vector<const SourceTree*> byNumber_;  // null: not read yet; &noSource_: no source that reads
  const SourceTree noSource_;
  SourceTree parsing_;
  std::size_t treeNodes_ = 0;
  std::vector<unsigned char> dataBuffer_;
  std::vector<unsigned char> window_;
  std::int64_t windowStart_ = -1;
  std::size_t windowLength_ = 0;
};

}  // namespace sealrun::platform::pdfengine
