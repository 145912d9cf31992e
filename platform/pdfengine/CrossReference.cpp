#include "platform/pdfengine/CrossReference.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "platform/pdfengine/Internal.h"

namespace sealrun::platform::pdfengine {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == 0; }

// Reads the words and numbers of a cross-reference table.
class Cursor {
 public:
  Cursor(const std::string& bytes, std::size_t at) : bytes_(bytes), at_(at) {}

  void SkipSpace() {
    while (at_ < bytes_.size() && IsSpace(bytes_[at_])) ++at_;
  }
  bool Word(const char* word) {
    SkipSpace();
    const std::string_view expected(word);
    if (bytes_.compare(at_, expected.size(), expected) != 0) return false;
    at_ += expected.size();
    return true;
  }
  std::optional<std::int64_t> Number() {
    SkipSpace();
    std::int64_t value = 0;
    std::size_t digits = 0;
    while (at_ < bytes_.size() && bytes_[at_] >= '0' && bytes_[at_] <= '9' && digits < 18) {
      value = value * 10 + (bytes_[at_++] - '0');
      ++digits;
    }
    if (digits == 0) return std::nullopt;
    return value;
  }
  std::optional<char> Letter() {
    SkipSpace();
    if (at_ >= bytes_.size()) return std::nullopt;
    return bytes_[at_++];
  }
  std::size_t Left() const { return bytes_.size() - std::min(at_, bytes_.size()); }

 private:
  const std::string& bytes_;
  std::size_t at_;
};

std::string Padded(std::int64_t value, int width) {
  char text[32];
  std::snprintf(text, sizeof text, "%0*lld", width, static_cast<long long>(value));
  return text;
}

std::string StartxrefLine(std::int64_t at) {
  return "\nstartxref\n" + std::to_string(at) + "\n%%EOF\n";
}

int BytesFor(std::int64_t value) {
  int bytes = 1;
  while (bytes < 8 && (value >> (8 * bytes)) != 0) ++bytes;
  return bytes;
}

void PutBigEndian(std::string& out, std::int64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>((value >> (8 * i)) & 0xff);
}

}  // namespace

std::optional<std::int64_t> LastStartxref(const std::string& bytes) {
  const std::size_t keyword = bytes.rfind("startxref");
  if (keyword == std::string::npos) return std::nullopt;
  Cursor cursor(bytes, keyword + 9);
  return cursor.Number();
}

std::optional<std::map<int, XrefEntry>> ReadXrefTable(const std::string& bytes, std::size_t at) {
  Cursor cursor(bytes, at);
  if (!cursor.Word("xref")) return std::nullopt;
  std::map<int, XrefEntry> entries;
  while (!cursor.Word("trailer")) {
    const auto first = cursor.Number();
    const auto count = cursor.Number();
    // Every entry takes at least 18 bytes: a count beyond what is left is not a table.
    if (!first || !count || *first + *count > INT32_MAX || *count > static_cast<std::int64_t>(cursor.Left() / 18))
      return std::nullopt;
    for (std::int64_t i = 0; i < *count; ++i) {
      const auto offset = cursor.Number();
      const auto generation = cursor.Number();
      const auto kind = cursor.Letter();
      if (!offset || !generation || !kind || (*kind != 'n' && *kind != 'f') || *generation > 65535)
        return std::nullopt;
      XrefEntry entry;
      entry.kind = *kind == 'n' ? XrefEntry::Kind::InFile : XrefEntry::Kind::Free;
      entry.offset = *offset;
      entry.generation = static_cast<int>(*generation);
      entries[static_cast<int>(*first + i)] = entry;
    }
  }
  return entries;
}

bool NeedsXrefStream(const std::vector<XrefEntry>& entries) {
  // A table's offsets have ten digits.
  return std::any_of(entries.begin(), entries.end(), [](const XrefEntry& entry) {
    return entry.kind == XrefEntry::Kind::InObjectStream || entry.offset > 9999999999LL;
  });
}

std::string XrefTableSection(const std::vector<XrefEntry>& entries, const std::string& trailerKeys, std::int64_t at) {
  std::string out = "xref\n0 " + std::to_string(entries.size()) + "\n";
  out.reserve(out.size() + entries.size() * 20 + trailerKeys.size() + 64);
  for (std::size_t number = 0; number < entries.size(); ++number) {
    const XrefEntry& entry = entries[number];
    const bool inFile = entry.kind == XrefEntry::Kind::InFile;
    // Object 0 heads the list of free objects with the highest generation.
    const int generation = number == 0 ? 65535 : entry.generation;
    out += Padded(inFile ? entry.offset : 0, 10) + " " + Padded(generation, 5) + (inFile ? " n \n" : " f \n");
  }
  out += "trailer\n<</Size " + std::to_string(entries.size()) + trailerKeys + ">>";
  return out + StartxrefLine(at);
}

std::string XrefStreamSection(const std::vector<XrefEntry>& entries, const std::string& trailerKeys, std::int64_t at) {
  const auto self = static_cast<std::int64_t>(entries.size());
  std::int64_t widest = at;
  for (const XrefEntry& entry : entries) widest = std::max(widest, entry.offset);
  const int offsetBytes = BytesFor(widest);
  std::string rows;
  rows.reserve(static_cast<std::size_t>(self + 1) * static_cast<std::size_t>(offsetBytes + 3));
  for (std::size_t number = 0; number <= entries.size(); ++number) {
    if (number == entries.size()) {
      rows += '\1';
      PutBigEndian(rows, at, offsetBytes);
      PutBigEndian(rows, 0, 2);
      continue;
    }
    const XrefEntry& entry = entries[number];
    const int type = entry.kind == XrefEntry::Kind::Free ? 0 : entry.kind == XrefEntry::Kind::InFile ? 1 : 2;
    rows += static_cast<char>(type);
    PutBigEndian(rows, type == 0 ? 0 : entry.offset, offsetBytes);
    PutBigEndian(rows, number == 0 ? 65535 : entry.generation, 2);
  }
  const std::string data = Deflate(rows);
  std::string out = std::to_string(self) + " 0 obj\n<</Type/XRef/Size " + std::to_string(self + 1) + "/W[1 " +
                    std::to_string(offsetBytes) + " 2]/Index[0 " + std::to_string(self + 1) + "]" + trailerKeys +
                    "/Filter/FlateDecode/Length " + std::to_string(data.size()) + ">>\nstream\n";
  out += data;
  out += "\nendstream\nendobj\n";
  return out + StartxrefLine(at);
}

}  // namespace sealrun::platform::pdfengine
