#pragma once
// Tokens of an object's source as the file writes it. The engine's parser keeps what a value is but not how
// it was written (a string's form, a real's digits, a dictionary's key order); this lexer reads the same bytes
// again for those facts. It splits tokens exactly where the engine's lexer does, so that a source reads as the
// engine read it, and reports an error wherever the engine would have guessed.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace sealrun::platform::pdfengine {

enum class TokenKind : std::uint8_t {
  End,  // no more bytes
  Error,
  Int,
  Real,
  String,     // ( ... )
  HexString,  // < ... >
  Name,
  True,
  False,
  Null,
  R,
  Keyword,  // any other run of regular characters (obj, endobj, stream, ...)
  OpenDict,
  CloseDict,
  OpenArray,
  CloseArray,
};

struct Token {
  TokenKind kind = TokenKind::End;
  std::size_t begin = 0;  // the token's bytes, delimiters included
  std::size_t end = 0;
  std::int64_t integer = 0;  // Int: the written value
  bool overflow = false;     // Int: the digits do not fit 64 bits
  bool escaped = false;      // Name, Keyword: the run holds a "#", which may stand for another byte
  double real = 0.0;         // Real: the written digits read as a double
  // Real: the engine read these digits with its Acrobat-compatible routine, which can give another value
  // than the digits say; the written value stays the digits' own.
  bool engineReadLoosely = false;
};

class SourceLexer {
 public:
  explicit SourceLexer(std::span<const unsigned char> bytes, std::size_t start = 0) : bytes_(bytes), at_(start) {}

  Token Next();
  std::size_t Position() const { return at_; }
  std::span<const unsigned char> Bytes() const { return bytes_; }

  // The bytes a token stands for, decoded as the engine decodes them. Name and keyword tokens include
  // their leading "/" (names) or not (keywords); names longer than the engine keeps are cut where it cuts.
  std::string NameOf(const Token& token) const;
  std::string StringOf(const Token& token) const;
  // The same bytes appended to `out`, without a string of their own: a parse reads thousands of names.
  void AppendName(const Token& token, std::string& out) const;
  void AppendString(const Token& token, std::string& out) const;
  // A name or keyword's decoded bytes: in the source itself when nothing in it needs decoding, else in `scratch`.
  std::string_view Word(const Token& token, std::string& scratch) const;

 private:
  int Peek() const { return at_ < bytes_.size() ? bytes_[at_] : -1; }
  std::size_t SkipWhiteAndComments(std::size_t at) const;
  // Where the run of regular characters from `from` ends, and whether it holds a "#".
  std::size_t RunEnd(std::size_t from, bool& escaped) const;
  std::span<const unsigned char> RunOf(const Token& token) const;
  Token Number(std::size_t begin);
  Token Regular(std::size_t begin);
  bool SkipLiteralString();
  bool SkipHexString();

  std::span<const unsigned char> bytes_;
  std::size_t at_ = 0;
};

}  // namespace sealrun::platform::pdfengine
