#include "verify/FingerprintDigest.h"

#include <charconv>
#include <cstring>

namespace sealrun::verify {
namespace {

constexpr std::size_t kPendingLimit = 4096;
constexpr char kHex[] = "0123456789ABCDEF";

bool IsDelimiterOrSpace(unsigned char byte) {
  switch (byte) {
    case 0x00: case '\t': case '\n': case '\f': case '\r': case ' ': case '%': case '(': case ')':
    case '/': case '<': case '>': case '[': case ']': case '{': case '}':
      return true;
    default:
      return false;
  }
}

}  // namespace

void FingerprintDigest::Write(std::string_view bytes) {
  pending_.append(bytes);
  if (pending_.size() >= kPendingLimit) Flush();
}

void FingerprintDigest::WriteBulk(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kPendingLimit) {
    Write(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    return;
  }
  Flush();
  sha1_.Update(bytes);
  fedBytes_ += bytes.size();
}

void FingerprintDigest::Flush() {
  if (pending_.empty()) return;
  sha1_.Update(std::string_view(pending_));
  fedBytes_ += pending_.size();
  pending_.clear();
}

void FingerprintDigest::WriteName(std::string_view name) {
  pending_.push_back('/');
  for (const char byte : name) {
    const auto value = static_cast<unsigned char>(byte);
    if (IsDelimiterOrSpace(value)) {
      const char escaped[3] = {'#', kHex[value >> 4], kHex[value & 0x0F]};
      pending_.append(escaped, 3);
    } else {
      pending_.push_back(byte);
    }
  }
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
  for (const char byte : bytes) {
    switch (byte) {
      case '\b': pending_.append("\\b"); break;
      case '\t': pending_.append("\\t"); break;
      case '\n': pending_.append("\\n"); break;
      case '\f': pending_.append("\\f"); break;
      case '\r': pending_.append("\\r"); break;
      case '(': pending_.append("\\("); break;
      case ')': pending_.append("\\)"); break;
      case '\\': pending_.append("\\\\"); break;
      default: pending_.push_back(byte); break;
    }
    if (pending_.size() >= kPendingLimit) Flush();
  }
  pending_.push_back(')');
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
  sha1_.Reset();
}

}  // namespace sealrun::verify
