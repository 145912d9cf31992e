#include "verify/FingerprintDigest.h"

#include <array>
#include <charconv>
#include <cstring>

namespace sealrun::verify {
namespace {

constexpr std::size_t kPendingLimit = 4096;
// Stream data from this size on goes to the digest without a copy; smaller pieces are gathered with the tokens.
constexpr std::size_t kBulkPiece = 256;
constexpr char kHex[] = "0123456789ABCDEF";

// Bytes a name writes as #xx: white space and delimiters.
constexpr std::array<bool, 256> kNameEscapes = [] {
  std::array<bool, 256> escapes{};
  for (const unsigned char byte : {'\0', '\t', '\n', '\f', '\r', ' ', '%', '(', ')', '/', '<', '>', '[', ']', '{', '}'}) {
    escapes[byte] = true;
  }
  return escapes;
}();

// Bytes a literal string writes with a backslash, and the letter after it (0: written as they are).
constexpr std::array<char, 256> kStringEscapes = [] {
  std::array<char, 256> escapes{};
  escapes['\b'] = 'b';
  escapes['\t'] = 't';
  escapes['\n'] = 'n';
  escapes['\f'] = 'f';
  escapes['\r'] = 'r';
  escapes['('] = '(';
  escapes[')'] = ')';
  escapes['\\'] = '\\';
  return escapes;
}();

}  // namespace

void FingerprintDigest::Write(std::string_view bytes) {
  pending_.append(bytes);
  if (pending_.size() >= kPendingLimit) Flush();
}

void FingerprintDigest::WriteBulk(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kBulkPiece) {
    Write(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    return;
  }
  Flush();
  if (capturing_) Capture(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  sha1_.Update(bytes);
  fedBytes_ += bytes.size();
}

void FingerprintDigest::Flush() {
  if (pending_.empty()) return;
  if (capturing_) Capture(std::string_view(pending_).substr(captureFrom_));
  captureFrom_ = 0;
  sha1_.Update(std::string_view(pending_));
  fedBytes_ += pending_.size();
  pending_.clear();
}

void FingerprintDigest::Capture(std::string_view bytes) {
  if (captureOverflow_) return;
  if (captured_.size() + bytes.size() > captureLimit_) {
    captureOverflow_ = true;
    captured_.clear();
    return;
  }
  captured_.append(bytes);
}

void FingerprintDigest::BeginCapture(std::size_t limit) {
  capturing_ = true;
  captureOverflow_ = false;
  captureLimit_ = limit;
  captureFrom_ = pending_.size();
  captured_.clear();
}

std::optional<std::string> FingerprintDigest::EndCapture() {
  if (!capturing_) return std::nullopt;
  Capture(std::string_view(pending_).substr(captureFrom_));
  capturing_ = false;
  captureFrom_ = 0;
  if (captureOverflow_) return std::nullopt;
  return captured_;  // a copy: the buffer keeps its room for the next capture
}

// Runs of bytes written as they are go in one append each.
void FingerprintDigest::WriteName(std::string_view name) {
  pending_.push_back('/');
  std::size_t run = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto value = static_cast<unsigned char>(name[i]);
    if (!kNameEscapes[value]) continue;
    pending_.append(name.data() + run, i - run);
    const char escaped[3] = {'#', kHex[value >> 4], kHex[value & 0x0F]};
    pending_.append(escaped, 3);
    run = i + 1;
  }
  pending_.append(name.data() + run, name.size() - run);
  if (pending_.size() >= kPendingLimit) Flush();
}

void FingerprintDigest::WriteString(std::string_view bytes, StringForm form) {
  if (form == StringForm::Hex) {
    pending_.push_back('<');
    for (const char byte : bytes) {
      const auto value = static_cast<unsigned char>(byte);
      const char digits[2] = {kHex[value >> 4], kHex[value & 0x0F]};
      pending_.append(digits, 2);
      if (pending_.size() >= kPendingLimit) Flush();
    }
    pending_.push_back('>');
    return;
  }
  pending_.push_back('(');
  std::size_t run = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char letter = kStringEscapes[static_cast<unsigned char>(bytes[i])];
    if (letter == 0) continue;
    pending_.append(bytes.data() + run, i - run);
    const char escaped[2] = {'\\', letter};
    pending_.append(escaped, 2);
    run = i + 1;
    if (pending_.size() >= kPendingLimit) Flush();
  }
  pending_.append(bytes.data() + run, bytes.size() - run);
  pending_.push_back(')');
  if (pending_.size() >= kPendingLimit) Flush();
}

void FingerprintDigest::WriteReal(double value) {
  // to_chars writes what "%.10f" writes in the "C" locale, whatever locale the host reader runs in.
  char text[512];
  const auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 10);
  if (error != std::errc()) return;
  std::size_t length = static_cast<std::size_t>(end - text);
  if (std::memchr(text, '.', length) != nullptr) {
    while (length > 0 && text[length - 1] == '0') --length;
    if (length > 0 && text[length - 1] == '.') ++length;
  }
  Write(std::string_view(text, length));
}

void FingerprintDigest::WriteInteger(std::int64_t value) {
  char text[24];
  const auto [end, error] = std::to_chars(text, text + sizeof text, value);
  if (error == std::errc()) Write(std::string_view(text, static_cast<std::size_t>(end - text)));
}

std::string FingerprintDigest::TakeDigestText() {
  Flush();
  std::uint8_t text[29] = {};
  sha1_.Final(text, support::Sha1Output::Text);
  return std::string(reinterpret_cast<const char*>(text), 28);
}

void FingerprintDigest::Reset() {
  pending_.clear();
  capturing_ = false;
  captureFrom_ = 0;
  captured_.clear();
  sha1_.Reset();
}

}  // namespace sealrun::verify
