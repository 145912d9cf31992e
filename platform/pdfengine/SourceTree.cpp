#include "platform/pdfengine/SourceTree.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <unordered_set>

#include "platform/pdfengine/SourceLexer.h"

namespace sealrun::platform::pdfengine {
namespace {

// Deeper than this is no real document; the walk refuses it as well.
constexpr int kMaxDepth = 256;
// Dictionaries up to this size look for a repeated key by comparing; larger ones keep a set.
constexpr std::size_t kLinearKeyCheck = 32;

}  // namespace

// Reads tokens the way the engine's parser takes them, so that a source either gives the engine's structure
// or is refused: whatever the engine would have read by guessing (a stray keyword read as null, a repeated
// key, a broken reference) makes the source unreadable, and the engine's object is used instead.
class SourceTree::Reader {
 public:
  Reader(SourceTree& tree, std::span<const unsigned char> bytes) : tree_(tree), lexer_(bytes), size_(bytes.size()) {}

  bool Object(Framing framing, int number) {
    if (framing == Framing::Bare) {
      const Token first = Next();
      if (first.kind == TokenKind::Int) return AddInt(first);
      return Value(first, 0);
    }
    const Token objectNumber = Next();
    const Token generation = Next();
    const Token keyword = Next();
    if (objectNumber.kind != TokenKind::Int || objectNumber.overflow || objectNumber.integer != number) return false;
    if (generation.kind != TokenKind::Int || generation.integer < 0 || generation.integer >= 65536) return false;
    if (keyword.kind != TokenKind::Keyword || Word(keyword) != "obj") return false;
    const Token first = Next();
    if (first.kind == TokenKind::Keyword && Word(first) == "endobj") {
      tree_.ending_ = Ending::EndObj;
      return AddNode(SourceKind::Null);
    }
    if (first.kind != TokenKind::Int) {
      if (!Value(first, 0)) return false;
      ReadEnding(Next());
      return true;
    }
    const Token second = Next();
    if (second.kind == TokenKind::Keyword) {
      const std::string_view word = Word(second);
      if ((word == "stream" || word == "endobj") && AddInt(first)) {
        ReadEnding(second);
        return true;
      }
      return false;
    }
    if (second.kind == TokenKind::Int && Next().kind == TokenKind::R && AddReference(first, second)) {
      ReadEnding(Next());
      return true;
    }
    return false;
  }

  bool TouchedEnd() const { return touchedEnd_; }

 private:
  // What follows an object's value, and for "stream" where the engine starts the data: after the keyword,
  // spaces, then one byte (a line feed, a carriage return, or whatever comes), and a line feed after a
  // carriage return.
  void ReadEnding(const Token& token) {
    if (token.kind != TokenKind::Keyword) return;
    const std::string_view word = Word(token);
    if (word == "endobj") {
      tree_.ending_ = Ending::EndObj;
      return;
    }
    if (word != "stream") return;
    const std::span<const unsigned char> bytes = lexer_.Bytes();
    std::size_t at = token.end;
    auto read = [&]() -> int {
      if (at >= bytes.size()) {
        touchedEnd_ = true;
        return -1;
      }
      return bytes[at++];
    };
    int c = read();
    while (c == ' ') c = read();
    if (c == '\r') {
      if (at >= bytes.size()) touchedEnd_ = true;
      else if (bytes[at] == '\n') ++at;
    }
    tree_.ending_ = Ending::Stream;
    tree_.streamData_ = at;
  }

  std::string_view Word(const Token& token) { return lexer_.Word(token, scratch_); }

  Token Next() {
    if (pending_) {
      pending_ = false;
      return pendingToken_;
    }
    return Fresh();
  }

  // One named token and one return, so that the token is built in place. A copy would read the token back
  // in wide loads right after the lexer wrote it field by field, and such loads wait for the writes.
  Token Fresh() {
    Token token = lexer_.Next();
    if (token.end >= size_) touchedEnd_ = true;
    return token;
  }

  bool AddNode(SourceKind kind) {
    SourceNode node;
    node.kind = kind;
    tree_.nodes_.push_back(node);
    return true;
  }

  bool AddInt(const Token& token) {
    if (token.overflow) tree_.standsAlone_ = false;
    if (!AddNode(SourceKind::Int)) return false;
    tree_.nodes_.back().integer = token.integer;
    tree_.nodes_.back().overflow = token.overflow;
    return true;
  }

  bool AddReference(const Token& number, const Token& generation) {
    if (number.overflow || generation.overflow || number.integer <= 0 || number.integer > INT32_MAX ||
        generation.integer < 0 || generation.integer > INT32_MAX) {
      return false;
    }
    AddNode(SourceKind::Reference);
    tree_.nodes_.back().integer = number.integer;
    tree_.nodes_.back().generation = static_cast<int>(generation.integer);
    return true;
  }

  // The token's name or string bytes as the next text. False past what a text offset holds.
  bool AddText(const Token& token, std::uint32_t& index) {
    std::string& bytes = tree_.textBytes_;
    const std::size_t offset = bytes.size();
    if (token.kind == TokenKind::Name) {
      lexer_.AppendName(token, bytes);
      // A name with a NUL byte is cut there by the engine.
      if (token.escaped && bytes.find('\0', offset) != std::string::npos) tree_.standsAlone_ = false;
    } else {
      lexer_.AppendString(token, bytes);
    }
    const std::size_t length = bytes.size() - offset;
    bytes.push_back('\0');
    if (bytes.size() > std::numeric_limits<std::uint32_t>::max()) return false;
    index = static_cast<std::uint32_t>(tree_.textSpans_.size());
    tree_.textSpans_.push_back({static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(length)});
    return true;
  }

  // A value that starts with `first` (an integer is the caller's: what follows it decides what it is).
  bool Value(const Token& first, int depth) {
    switch (first.kind) {
      case TokenKind::OpenDict:
        return Dictionary(depth + 1);
      case TokenKind::OpenArray:
        return Array(depth + 1);
      case TokenKind::Name:
        AddNode(SourceKind::Name);
        return AddText(first, tree_.nodes_.back().text);
      case TokenKind::Real:
        AddNode(SourceKind::Real);
        tree_.nodes_.back().real = first.real;
        tree_.nodes_.back().engineReadLoosely = first.engineReadLoosely;
        return true;
      case TokenKind::String:
      case TokenKind::HexString:
        AddNode(SourceKind::String);
        tree_.nodes_.back().hex = first.kind == TokenKind::HexString;
        return !tree_.keepStrings_ || AddText(first, tree_.nodes_.back().text);
      case TokenKind::True:
      case TokenKind::False:
        AddNode(SourceKind::Bool);
        tree_.nodes_.back().boolean = first.kind == TokenKind::True;
        return true;
      case TokenKind::Null:
        return AddNode(SourceKind::Null);
      default:
        return false;
    }
  }

  bool Dictionary(int depth) {
    if (depth > kMaxDepth) return false;
    const std::size_t index = tree_.nodes_.size();
    AddNode(SourceKind::Dict);
    Keys keys;
    for (;;) {
      const Token keyToken = Next();
      if (keyToken.kind == TokenKind::CloseDict) break;
      if (keyToken.kind != TokenKind::Name) return false;
      std::uint32_t key = 0;
      if (!AddText(keyToken, key) || !Unique(keys, key)) return false;
      const std::size_t valueIndex = tree_.nodes_.size();
      const Token first = Next();
      if (first.kind == TokenKind::Int) {
        const Token second = Next();
        if (second.kind == TokenKind::CloseDict || second.kind == TokenKind::Name) {
          AddInt(first);
          pending_ = true;
          pendingToken_ = second;
        } else if (second.kind != TokenKind::Int || Next().kind != TokenKind::R || !AddReference(first, second)) {
          return false;
        }
      } else if (!Value(first, depth)) {
        return false;
      }
      tree_.nodes_[valueIndex].key = key;
      ++tree_.nodes_[index].count;
    }
    tree_.nodes_[index].size = static_cast<std::uint32_t>(tree_.nodes_.size() - index);
    return true;
  }

  // Keys are compared by their text index, which stays valid while the texts grow.
  struct KeyHash {
    const SourceTree* tree;
    std::size_t operator()(std::uint32_t key) const { return std::hash<std::string_view>{}(tree->ParsedText(key)); }
  };
  struct KeyEqual {
    const SourceTree* tree;
    bool operator()(std::uint32_t a, std::uint32_t b) const { return tree->ParsedText(a) == tree->ParsedText(b); }
  };
  using KeySet = std::unordered_set<std::uint32_t, KeyHash, KeyEqual>;
  // A dictionary's keys so far: the first few on the stack, a set once there are more.
  struct Keys {
    std::array<std::uint32_t, kLinearKeyCheck> first{};
    std::size_t count = 0;
    std::optional<KeySet> set;
  };

  bool Unique(Keys& keys, std::uint32_t key) {
    if (!keys.set && keys.count < kLinearKeyCheck) {
      const std::string_view text = tree_.ParsedText(key);
      for (std::size_t i = 0; i < keys.count; ++i) {
        if (tree_.ParsedText(keys.first[i]) == text) return false;
      }
      keys.first[keys.count++] = key;
      return true;
    }
    if (!keys.set) {
      keys.set.emplace(keys.count * 2, KeyHash{&tree_}, KeyEqual{&tree_});
      keys.set->insert(keys.first.begin(), keys.first.begin() + static_cast<std::ptrdiff_t>(keys.count));
    }
    return keys.set->insert(key).second;
  }

  // The engine's array parser: integers wait for a following "R"; two integers and an "R" are a reference.
  bool Array(int depth) {
    if (depth > kMaxDepth) return false;
    const std::size_t index = tree_.nodes_.size();
    AddNode(SourceKind::Array);
    Token a;
    Token b;
    int waiting = 0;
    auto push = [&](auto&& add) {
      add();
      ++tree_.nodes_[index].count;
    };
    for (;;) {
      const Token token = Next();
      if (token.kind != TokenKind::Int && token.kind != TokenKind::R) {
        if (waiting > 0) push([&] { AddInt(a); });
        if (waiting > 1) push([&] { AddInt(b); });
        waiting = 0;
      }
      if (token.kind == TokenKind::Int && waiting == 2) {
        push([&] { AddInt(a); });
        a = b;
        --waiting;
      }
      switch (token.kind) {
        case TokenKind::CloseArray:
          tree_.nodes_[index].size = static_cast<std::uint32_t>(tree_.nodes_.size() - index);
          return true;
        case TokenKind::Int:
          (waiting == 0 ? a : b) = token;
          ++waiting;
          break;
        case TokenKind::R: {
          if (waiting != 2) return false;
          bool added = false;
          push([&] { added = AddReference(a, b); });
          if (!added) return false;
          waiting = 0;
          break;
        }
        default: {
          bool added = false;
          push([&] { added = Value(token, depth); });
          if (!added) return false;
          break;
        }
      }
    }
  }

  SourceTree& tree_;
  SourceLexer lexer_;
  std::size_t size_;
  bool pending_ = false;
  Token pendingToken_;
  std::string scratch_;  // a keyword's bytes when they need decoding
  bool touchedEnd_ = false;
};

SourceTree::SourceTree(const SourceTree& parsed, SourceArena& arena)
    : nodeView_(arena.Copy(parsed.nodeView_)),
      spanView_(arena.Copy(parsed.spanView_)),
      textView_(arena.Copy(parsed.textView_)),
      keepStrings_(parsed.keepStrings_),
      standsAlone_(parsed.standsAlone_),
      ending_(parsed.ending_),
      streamData_(parsed.streamData_),
      fileOffset_(parsed.fileOffset_) {}

SourceTree::Result SourceTree::Parse(std::span<const unsigned char> bytes, Framing framing, int number,
                                     bool keepStrings, bool complete) {
  nodes_.clear();
  textBytes_.clear();
  textSpans_.clear();
  keepStrings_ = keepStrings;
  standsAlone_ = true;
  ending_ = framing == Framing::Bare ? Ending::EndObj : Ending::Other;
  streamData_ = 0;
  Reader reader(*this, bytes);
  const bool parsed = reader.Object(framing, number);
  nodeView_ = nodes_;
  spanView_ = textSpans_;
  textView_ = textBytes_;
  if (reader.TouchedEnd() && !complete) return Result::NeedMoreBytes;
  return parsed ? Result::Parsed : Result::Unreadable;
}

}  // namespace sealrun::platform::pdfengine
