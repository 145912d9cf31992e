#include "platform/pdfengine/SourceLexer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <limits>
#include <string_view>

namespace sealrun::platform::pdfengine {
namespace {

// The engine keeps the first 127 bytes of a name and drops the rest.
constexpr std::size_t kNameLimit = 127;
// The engine's lexer buffer: a number written longer than this is split into two tokens there.
constexpr std::size_t kNumberLimit = 65535;
// From this position of the decimal point on the engine reads a real with its Acrobat-compatible routine.
constexpr std::size_t kLooseRealPoint = 10;

// The byte classes of PDF syntax, one table lookup per byte: the lexer asks for every byte of a source.
enum ByteClass : std::uint8_t { kRegular = 0, kWhite = 1, kDelimiter = 2 };

constexpr std::array<std::uint8_t, 256> kByteClasses = [] {
  std::array<std::uint8_t, 256> classes{};
  for (const unsigned char c : {'\0', '\t', '\n', '\f', '\r', ' '}) classes[c] = kWhite;
  for (const unsigned char c : {'(', ')', '<', '>', '[', ']', '{', '}', '/', '%'}) classes[c] = kDelimiter;
  return classes;
}();

bool IsWhite(unsigned char c) { return kByteClasses[c] == kWhite; }
// White space or a delimiter: where a run of regular characters (a name, a number, a keyword) ends.
bool EndsRun(unsigned char c) { return kByteClasses[c] != kRegular; }

int HexValue(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A run of regular characters decoded as the engine decodes a name: "#xx" is one byte, except "#00" and
// a "#" not followed by two hex digits, which stay as written.
// Appended to `out`; the lexer has seen the "#" already, runs without one are taken as they stand.
void DecodeRegularRun(std::span<const unsigned char> run, std::string& out) {
  const std::size_t start = out.size();
  std::size_t i = 0;
  auto keep = [&](unsigned char byte) {
    if (out.size() - start < kNameLimit) out.push_back(static_cast<char>(byte));
  };
  while (i < run.size()) {
    const unsigned char c = run[i++];
    if (c != '#') {
      keep(c);
      continue;
    }
    const int high = i < run.size() ? HexValue(run[i]) : -1;
    const int low = i + 1 < run.size() ? HexValue(run[i + 1]) : -1;
    if (high < 0 || low < 0 || (high == 0 && run[i + 1] == '0')) {
      keep('#');
      continue;
    }
    keep(static_cast<unsigned char>(high * 16 + low));
    i += 2;
  }
}

// The digits as strtod reads them in the "C" locale: a value too large is infinite, one too small is zero.
double DigitsValue(std::string_view digits) {
  double value = 0.0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error == std::errc()) return value;
  if (error != std::errc::result_out_of_range) return 0.0;  // "." or "-" alone
  const bool negative = !digits.empty() && digits.front() == '-';
  const std::string_view magnitude = digits.substr(negative ? 1 : 0);
  const bool large = magnitude.find_first_not_of('0') < magnitude.find('.');
  const double limit = large ? std::numeric_limits<double>::infinity() : 0.0;
  return negative ? -limit : limit;
}

}  // namespace

// Inlined into Next, which then keeps the position in a register: every token starts here.
inline std::size_t SourceLexer::SkipWhiteAndComments(std::size_t at) const {
  const unsigned char* const data = bytes_.data();
  const std::size_t size = bytes_.size();
  while (at < size) {
    const unsigned char c = data[at];
    if (IsWhite(c)) {
      ++at;
    } else if (c == '%') {
      while (at < size && data[at] != '\n' && data[at] != '\r') ++at;
    } else {
      break;
    }
  }
  return at;
}

std::size_t SourceLexer::RunEnd(std::size_t from, bool& escaped) const {
  const unsigned char* p = bytes_.data() + from;
  const unsigned char* const end = bytes_.data() + bytes_.size();
  bool hash = false;
  for (; p != end && !EndsRun(*p); ++p) hash |= *p == '#';
  escaped = hash;
  return static_cast<std::size_t>(p - bytes_.data());
}

Token SourceLexer::Next() {
  at_ = SkipWhiteAndComments(at_);
  Token token;
  token.begin = at_;
  if (at_ >= bytes_.size()) {
    token.kind = TokenKind::End;
    token.end = at_;
    return token;
  }
  const unsigned char c = bytes_[at_++];
  switch (c) {
    case '/':
      at_ = RunEnd(at_, token.escaped);
      token.kind = TokenKind::Name;
      break;
    case '(':
      token.kind = SkipLiteralString() ? TokenKind::String : TokenKind::Error;
      break;
    case '<':
      if (Peek() == '<') {
        ++at_;
        token.kind = TokenKind::OpenDict;
      } else {
        token.kind = SkipHexString() ? TokenKind::HexString : TokenKind::Error;
      }
      break;
    case '>':
      if (Peek() == '>') {
        ++at_;
        token.kind = TokenKind::CloseDict;
      } else {
        token.kind = TokenKind::Error;
      }
      break;
    case '[':
      token.kind = TokenKind::OpenArray;
      break;
    case ']':
      token.kind = TokenKind::CloseArray;
      break;
    case '+': case '-': case '.': case '0': case '1': case '2': case '3': case '4': case '5': case '6': case '7':
    case '8': case '9':
      return Number(token.begin);
    case ')': case '{': case '}':
      token.kind = TokenKind::Error;  // the engine reads these as no value at all
      break;
    default:
      return Regular(token.begin);
  }
  token.end = at_;
  return token;
}

// As the engine reads a number: extra leading minus signs are skipped, a minus sign later ends the digits
// that count (the rest of the run is read and ignored), and any other character makes the run a keyword.
Token SourceLexer::Number(std::size_t begin) {
  Token token;
  token.begin = begin;
  if (const unsigned char first = bytes_[begin]; first >= '0' && first <= '9') {
    // Most numbers are short unsigned integers (object numbers, lengths, coordinates): read those in one pass.
    // Eighteen digits cannot overflow; anything longer or unusual takes the full reading below.
    const unsigned char* const data = bytes_.data();
    const std::size_t size = bytes_.size();
    std::int64_t value = first - '0';
    std::size_t at = at_;
    for (; at < size && at - begin < 18 && data[at] >= '0' && data[at] <= '9'; ++at) {
      value = value * 10 + (data[at] - '0');
    }
    if (at == size || EndsRun(data[at])) {
      at_ = at;
      token.end = at;
      token.kind = TokenKind::Int;
      token.integer = value;
      return token;
    }
  }
  const bool negative = bytes_[begin] == '-';
  bool extraMinus = false;
  if (negative) {
    while (Peek() == '-') {
      ++at_;
      extraMinus = true;
    }
  }
  const std::size_t afterSigns = at_;
  bool bad = false;
  std::size_t textEnd = std::string::npos;  // where a later minus sign ends the digits that count
  std::size_t point = bytes_[begin] == '.' ? 0 : std::string::npos;
  std::size_t length = 1;
  const unsigned char* const data = bytes_.data();
  const std::size_t size = bytes_.size();
  std::size_t at = at_;
  for (; at < size && !EndsRun(data[at]); ++at) {
    const unsigned char c = data[at];
    if (++length > kNumberLimit) {
      at_ = at + 1;
      token.kind = TokenKind::Error;
      token.end = at_;
      return token;
    }
    if (c == '.') {
      if (point != std::string::npos) bad = true;
      point = length - 1;
    } else if (c == '-') {
      if (textEnd == std::string::npos) textEnd = at;
    } else if (c < '0' || c > '9') {
      bad = true;
    }
  }
  at_ = at;
  token.end = at_;
  if (bad) {
    token.kind = TokenKind::Keyword;
    return token;
  }
  // The text that counts: the first byte, then what follows the extra minus signs up to a later minus sign.
  // Without extra minus signs that is one piece of the source.
  const auto* source = reinterpret_cast<const char*>(bytes_.data());
  const std::size_t counted = textEnd == std::string::npos ? at_ : textEnd;
  std::string joined;
  if (extraMinus) joined = "-" + std::string(source + afterSigns, counted - afterSigns);
  const std::string_view text = extraMinus ? std::string_view(joined) : std::string_view(source + begin, counted - begin);
  // The digits without a leading "+" (from_chars takes none): "+.5" is 0.5, "-" alone and "." alone are 0.
  std::string_view digits(text);
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  if (point != std::string::npos) {
    token.kind = TokenKind::Real;
    token.engineReadLoosely = point >= kLooseRealPoint;
    token.real = DigitsValue(digits);
    return token;
  }
  token.kind = TokenKind::Int;
  bool minus = false;
  if (!digits.empty() && digits.front() == '-') {
    minus = true;
    digits.remove_prefix(1);
  }
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  std::int64_t value = 0;
  for (const char digit : digits) {
    if (digit < '0' || digit > '9') break;
    const int d = digit - '0';
    if (value > (INT64_MAX - d) / 10) {
      token.overflow = true;
      break;
    }
    value = value * 10 + d;
  }
  token.integer = minus ? -value : value;
  return token;
}

// A keyword, as the engine reads one: decoded like a name, then named tokens, and an error for bytes that
// are not printable ASCII.
Token SourceLexer::Regular(std::size_t begin) {
  Token token;
  token.begin = begin;
  at_ = RunEnd(at_, token.escaped);
  token.end = at_;
  std::string scratch;
  const std::string_view word = Word(token, scratch);
  if (word == "true") {
    token.kind = TokenKind::True;
  } else if (word == "false") {
    token.kind = TokenKind::False;
  } else if (word == "null") {
    token.kind = TokenKind::Null;
  } else if (word == "R") {
    token.kind = TokenKind::R;
  } else {
    token.kind = TokenKind::Keyword;
    for (const char ch : word) {
      const auto byte = static_cast<unsigned char>(ch);
      if (byte < ' ' || byte > '~') token.kind = TokenKind::Error;
    }
  }
  return token;
}

bool SourceLexer::SkipLiteralString() {
  int balance = 1;
  while (at_ < bytes_.size()) {
    const unsigned char c = bytes_[at_++];
    if (c == '\\') {
      if (at_ >= bytes_.size()) return false;
      ++at_;  // the escaped byte (octal digits and line ends after it read as ordinary bytes here)
    } else if (c == '(') {
      ++balance;
    } else if (c == ')') {
      if (--balance == 0) return true;
    }
  }
  return false;
}

bool SourceLexer::SkipHexString() {
  while (at_ < bytes_.size()) {
    if (bytes_[at_++] == '>') return true;
  }
  return false;
}

std::span<const unsigned char> SourceLexer::RunOf(const Token& token) const {
  const std::size_t skip = token.kind == TokenKind::Name ? 1 : 0;
  return bytes_.subspan(token.begin + skip, token.end - token.begin - skip);
}

std::string_view SourceLexer::Word(const Token& token, std::string& scratch) const {
  const std::span<const unsigned char> run = RunOf(token);
  if (!token.escaped) return {reinterpret_cast<const char*>(run.data()), std::min(run.size(), kNameLimit)};
  scratch.clear();
  DecodeRegularRun(run, scratch);
  return scratch;
}

void SourceLexer::AppendName(const Token& token, std::string& out) const {
  const std::span<const unsigned char> run = RunOf(token);
  if (token.escaped) {
    DecodeRegularRun(run, out);
  } else {
    out.append(reinterpret_cast<const char*>(run.data()), std::min(run.size(), kNameLimit));
  }
}

std::string SourceLexer::NameOf(const Token& token) const {
  std::string out;
  AppendName(token, out);
  return out;
}

std::string SourceLexer::StringOf(const Token& token) const {
  std::string out;
  AppendString(token, out);
  return out;
}

void SourceLexer::AppendString(const Token& token, std::string& out) const {
  const std::span<const unsigned char> body = bytes_.subspan(token.begin + 1, token.end - token.begin - 2);
  if (token.kind == TokenKind::HexString) {
    int high = -1;
    for (const unsigned char c : body) {
      if (IsWhite(c)) continue;
      const int value = HexValue(c) < 0 ? 0 : HexValue(c);  // the engine reads any other byte as 0
      if (high < 0) {
        high = value;
      } else {
        out.push_back(static_cast<char>(high * 16 + value));
        high = -1;
      }
    }
    if (high >= 0) out.push_back(static_cast<char>(high * 16));
    return;
  }
  for (std::size_t i = 0; i < body.size(); ++i) {
    const unsigned char c = body[i];
    if (c != '\\') {
      out.push_back(static_cast<char>(c));
      continue;
    }
    const unsigned char escaped = body[++i];
    switch (escaped) {
      case 'n': out.push_back('\n'); break;
      case 'r': out.push_back('\r'); break;
      case 't': out.push_back('\t'); break;
      case 'b': out.push_back('\b'); break;
      case 'f': out.push_back('\f'); break;
      case '\n': break;
      case '\r':
        if (i + 1 < body.size() && body[i + 1] == '\n') ++i;
        break;
      default:
        if (escaped >= '0' && escaped <= '7') {
          int value = escaped - '0';
          for (int more = 0; more < 2 && i + 1 < body.size() && body[i + 1] >= '0' && body[i + 1] <= '7'; ++more) {
            value = value * 8 + (body[++i] - '0');
          }
          out.push_back(static_cast<char>(value & 0xFF));
        } else {
          out.push_back(static_cast<char>(escaped));  // "\(", "\)", "\\" and any other byte as itself
        }
        break;
    }
  }
}

}  // namespace sealrun::platform::pdfengine
