#pragma once
// One object's source parsed into a flat tree, node by node in the order the file writes them, with the facts
// the engine's own objects do not keep: key order, string forms and real digits. Each node is later matched
// with the engine's object, which stays the authority for what the object is.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/pdfengine/SourceArena.h"

namespace sealrun::platform::pdfengine {

enum class SourceKind : std::uint8_t { Null, Bool, Int, Real, String, Name, Reference, Dict, Array };

struct SourceNode {
  SourceKind kind = SourceKind::Null;
  bool hex = false;                // String: written in hex form
  bool boolean = false;            // Bool
  bool overflow = false;           // Int: more digits than 64 bits hold
  bool engineReadLoosely = false;  // Real: the engine's value need not be the digits' value
  std::uint32_t count = 0;         // Dict: entries; Array: elements
  std::uint32_t size = 1;          // nodes of the subtree, this one included (the next sibling is that far on)
  std::uint32_t key = 0;           // entry of a Dict: its key in Text()
  std::uint32_t text = 0;          // Name: its bytes; String: its bytes when they were kept
  std::int64_t integer = 0;        // Int: the value; Reference: the object number
  int generation = 0;              // Reference
  double real = 0.0;               // Real: the digits' value
};

class SourceTree {
 public:
  // How the bytes begin: with "N G obj" (an object at a file offset) or with the value alone (an object in
  // an object stream).
  enum class Framing { IndirectObject, Bare };
  enum class Result { Parsed, NeedMoreBytes, Unreadable };
  // What follows the value of an object at a file offset (an object in an object stream ends with its value).
  enum class Ending { EndObj, Stream, Other };

  SourceTree() = default;
  // A copy whose nodes and texts live in `arena`: kept sources take no allocation of their own.
  SourceTree(const SourceTree& parsed, SourceArena& arena);
  SourceTree(const SourceTree&) = delete;
  SourceTree& operator=(const SourceTree&) = delete;

  // Parses one object. Unless `complete` says the bytes are all there is, they may stop inside the object:
  // NeedMoreBytes asks for a longer piece. keepStrings false: string bytes are not decoded (the engine's
  // are decrypted, so the file's would not match anyway).
  Result Parse(std::span<const unsigned char> bytes, Framing framing, int number, bool keepStrings, bool complete);

  std::span<const SourceNode> Nodes() const { return nodeView_; }
  // A name's or kept string's bytes. A NUL follows them in memory, so data() serves as a C string too.
  std::string_view Text(std::uint32_t index) const {
    const TextSpan span = spanView_[index];
    return {textView_.data() + span.offset, span.length};
  }
  bool StringsKept() const { return keepStrings_; }

  // True when every value is what the engine makes of the same bytes: no integer too long for 64 bits and no
  // name with a NUL byte (the engine cuts it there). Such a source, with its strings kept, may stand for the
  // object without the engine reading it.
  bool StandsAlone() const { return standsAlone_ && keepStrings_; }
  Ending EndsWith() const { return ending_; }
  // Ending::Stream: where the engine starts the stream's data, counted from the first byte parsed.
  std::size_t StreamDataStart() const { return streamData_; }
  // Where the parsed bytes begin in the file; -1 for an object of an object stream.
  std::int64_t FileOffset() const { return fileOffset_; }
  void SetFileOffset(std::int64_t offset) { fileOffset_ = offset; }

 private:
  class Reader;
  struct TextSpan {
    std::uint32_t offset;
    std::uint32_t length;
  };
  // A text while the parse is still adding to the vectors (the views are set when it ends).
  std::string_view ParsedText(std::uint32_t index) const {
    const TextSpan span = textSpans_[index];
    return {textBytes_.data() + span.offset, span.length};
  }
  // Filled by a parse; a copy in an arena leaves them empty.
  std::vector<SourceNode> nodes_;
  // Every text in one piece, each followed by a NUL: a parse makes no allocation per name.
  std::string textBytes_;
  std::vector<TextSpan> textSpans_;
  // What the accessors read: the vectors above after a parse, the arena's copies in a copy.
  std::span<const SourceNode> nodeView_;
  std::span<const TextSpan> spanView_;
  std::span<const char> textView_;
  bool keepStrings_ = true;
  bool standsAlone_ = true;
  Ending ending_ = Ending::Other;
  std::size_t streamData_ = 0;
  std::int64_t fileOffset_ = -1;
};

}  // namespace sealrun::platform::pdfengine
