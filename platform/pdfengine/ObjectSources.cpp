#include "platform/pdfengine/ObjectSources.h"

#include <algorithm>

#include "platform/pdfengine/FileStream.h"
#include "platform/pdfengine/SourceLexer.h"

namespace sealrun::platform::pdfengine {
namespace {

// Most objects fit the first read; a longer one is read again, twice as long each time.
constexpr std::size_t kWindowSize = 8 * 1024;
// Decoded object streams and parsed sources kept per document; past these they are all let go and read again
// when needed.
constexpr std::size_t kDecodedLimit = 64 * 1024 * 1024;
constexpr std::size_t kTreeNodeLimit = 1024 * 1024;

struct BufferDrop {
  fz_context* ctx;
  void operator()(fz_buffer* buffer) const { fz_drop_buffer(ctx, buffer); }
};

}  // namespace

std::shared_ptr<const SourceTree> ObjectSources::Load(int number) {
  if (number <= 0) return nullptr;
  const auto slot = static_cast<std::size_t>(number);
  if (slot >= byNumber_.size()) {
    // Objects made in memory since the last look lengthen the cross-reference.
    const int length = Mu(ctx_, [&] { return pdf_xref_len(ctx_, doc_); });
    if (number >= length) return nullptr;
    byNumber_.resize(static_cast<std::size_t>(length), nullptr);
  }
  if (const SourceTree* known = byNumber_[slot]; known != nullptr) {
    if (known == &noSource_) return nullptr;
    return std::shared_ptr<const SourceTree>(kept_, known);
  }
  // Parsed into one reused tree, then copied into the arena: the tree's buffers grow once per document.
  const bool parsed = Parse(number, parsing_);
  const std::size_t nodes = parsed ? parsing_.Nodes().size() : 1;
  if (kept_ == nullptr || treeNodes_ + nodes > kTreeNodeLimit) {
    kept_ = std::make_shared<KeptSources>();
    std::fill(byNumber_.begin(), byNumber_.end(), nullptr);
    treeNodes_ = 0;
  }
  treeNodes_ += nodes;
  if (!parsed) {
    byNumber_[slot] = &noSource_;
    return nullptr;
  }
  const SourceTree& tree = kept_->trees.emplace_back(parsing_, kept_->arena);
  byNumber_[slot] = &tree;
  return std::shared_ptr<const SourceTree>(kept_, &tree);
}

bool ObjectSources::Parse(int number, SourceTree& tree) {
  char type = 0;
  std::int64_t offset = 0;
  Mu(ctx_, [&] {
    if (number <= 0 || number >= pdf_xref_len(ctx_, doc_)) return;
    const pdf_xref_entry* entry = pdf_get_xref_entry(ctx_, doc_, number);
    if (entry == nullptr) return;
    type = entry->type;
    offset = entry->ofs;
  });
  if (type == 'n') return LoadFromFile(number, offset, tree);
  if (type == 'o' && offset > 0 && offset <= INT32_MAX) return LoadFromObjectStream(number, static_cast<int>(offset), tree);
  return false;
}

bool ObjectSources::Read(std::int64_t offset, std::size_t length) {
  const std::int64_t fileSize = FileSizeOf(doc_->file);
  const std::int64_t windowEnd = windowStart_ + static_cast<std::int64_t>(windowLength_);
  if (windowStart_ >= 0 && offset >= windowStart_ && offset <= windowEnd &&
      (offset + static_cast<std::int64_t>(length) <= windowEnd || windowEnd >= fileSize)) {
    return true;
  }
  const std::size_t size = std::max(length, kWindowSize);
  if (window_.size() < size) window_.resize(size);
  const std::int64_t got = ReadFileAt(doc_->file, offset, window_.data(), size);
  if (got < 0) {
    windowStart_ = -1;
    return false;
  }
  windowStart_ = offset;
  windowLength_ = static_cast<std::size_t>(got);
  return true;
}

std::span<const unsigned char> ObjectSources::WholeFile() { return WholeFileOf(doc_->file); }

bool ObjectSources::LoadFromFile(int number, std::int64_t offset, SourceTree& tree) {
  const std::int64_t fileSize = FileSizeOf(doc_->file);
  if (fileSize < 0 || offset <= 0 || offset >= fileSize) return false;
  // Strings of an encrypted file are stored encrypted: only the engine has their bytes.
  const bool keepStrings = doc_->crypt == nullptr;
  tree.SetFileOffset(offset);
  if (const std::span<const unsigned char> file = WholeFile(); file.size() == static_cast<std::size_t>(fileSize)) {
    const SourceTree::Result result = tree.Parse(file.subspan(static_cast<std::size_t>(offset)),
                                                 SourceTree::Framing::IndirectObject, number, keepStrings, true);
    return result == SourceTree::Result::Parsed;
  }
  std::size_t wanted = kWindowSize;
  for (;;) {
    if (!Read(offset, wanted)) return false;
    const auto available = static_cast<std::size_t>(windowStart_ + static_cast<std::int64_t>(windowLength_) - offset);
    if (available == 0) return false;
    const bool complete = offset + static_cast<std::int64_t>(available) >= fileSize;
    const std::span<const unsigned char> piece(window_.data() + (offset - windowStart_), available);
    const SourceTree::Result result =
        tree.Parse(piece, SourceTree::Framing::IndirectObject, number, keepStrings, complete);
    if (result != SourceTree::Result::NeedMoreBytes) return result == SourceTree::Result::Parsed;
    wanted = available * 2;
  }
}

bool ObjectSources::LoadFromObjectStream(int number, int streamNumber, SourceTree& tree) {
  const ObjectStream* stream = DecodedObjectStream(streamNumber);
  if (stream == nullptr) return false;
  // The engine takes the first object of that number in the stream's header, up to where the next one starts.
  const auto found = std::find_if(stream->objects.begin(), stream->objects.end(),
                                  [&](const auto& object) { return object.first == number; });
  if (found == stream->objects.end()) return false;
  const std::size_t begin = found->second;
  std::size_t end = stream->bytes.size();
  if (std::next(found) != stream->objects.end() && std::next(found)->second >= begin) end = std::next(found)->second;
  const std::span<const unsigned char> piece(stream->bytes.data() + begin, end - begin);
  return tree.Parse(piece, SourceTree::Framing::Bare, number, true, true) == SourceTree::Result::Parsed;
}

const ObjectSources::ObjectStream* ObjectSources::DecodedObjectStream(int streamNumber) {
  if (const auto cached = objectStreams_.find(streamNumber); cached != objectStreams_.end()) return cached->second.get();
  std::unique_ptr<ObjectStream> decoded;
  try {
    decoded = Decode(streamNumber);
  } catch (const EngineError&) {
    decoded.reset();  // a stream the engine cannot decode gives its objects no source
  }
  const std::size_t size = decoded == nullptr ? 0 : decoded->bytes.size();
  if (decodedBytes_ + size > kDecodedLimit) {
    objectStreams_.clear();
    decodedBytes_ = 0;
  }
  decodedBytes_ += size;
  return objectStreams_.emplace(streamNumber, std::move(decoded)).first->second.get();
}

std::unique_ptr<ObjectSources::ObjectStream> ObjectSources::Decode(int streamNumber) {
  int count = 0;
  int first = 0;
  int xrefLength = 0;
  fz_buffer* raw = Mu(ctx_, [&] {
    pdf_obj* dict = pdf_load_object(ctx_, doc_, streamNumber);
    fz_buffer* data = nullptr;
    fz_try(ctx_) {
      count = pdf_dict_get_int(ctx_, dict, PDF_NAME(N));
      first = pdf_dict_get_int(ctx_, dict, PDF_NAME(First));
      xrefLength = pdf_xref_len(ctx_, doc_);
      data = pdf_load_stream_number(ctx_, doc_, streamNumber);
    }
    fz_always(ctx_) { pdf_drop_obj(ctx_, dict); }
    fz_catch(ctx_) { fz_rethrow(ctx_); }
    return data;
  });
  const std::unique_ptr<fz_buffer, BufferDrop> data(raw, BufferDrop{ctx_});
  unsigned char* bytes = nullptr;
  const std::size_t size = fz_buffer_storage(ctx_, data.get(), &bytes);
  // Each header pair takes four bytes at least: a larger count is no object stream.
  if (count < 0 || first < 0 || static_cast<std::size_t>(count) > size / 4 + 1) return nullptr;
  auto stream = std::make_unique<ObjectStream>();
  stream->bytes.assign(bytes, bytes + size);
  SourceLexer header(stream->bytes);
  for (int i = 0; i < count; ++i) {
    const Token objectNumber = header.Next();
    const Token offset = header.Next();
    if (objectNumber.kind != TokenKind::Int || offset.kind != TokenKind::Int) return nullptr;
    // The engine skips numbers outside its cross-reference, as here.
    if (objectNumber.integer <= 0 || objectNumber.integer >= xrefLength) continue;
    const std::int64_t start = offset.overflow ? -1 : first + offset.integer;
    const std::size_t at = start < 0 || start > static_cast<std::int64_t>(size) ? size : static_cast<std::size_t>(start);
    stream->objects.emplace_back(static_cast<int>(objectNumber.integer), at);
  }
  return stream;
}

}  // namespace sealrun::platform::pdfengine
