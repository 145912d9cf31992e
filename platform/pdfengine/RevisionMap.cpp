#include "platform/pdfengine/RevisionMap.h"

#include <cstring>
#include <optional>

namespace sealrun::platform::pdfengine {
namespace {

constexpr std::size_t kChunk = 64 * 1024;
constexpr std::size_t kTail = 64;  // bytes a "startxref N %%EOF" line needs after its keyword, and then some

bool IsPdfSpace(unsigned char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == 0; }

struct RevisionEnd {
  std::int64_t eofEnd = 0;
  std::int64_t end = 0;
};

// Reads up to `length` bytes at `offset` into `into`; the count read.
std::size_t ReadAt(fz_context* ctx, fz_stream* file, std::int64_t offset, unsigned char* into, std::size_t length) {
  return Mu(ctx, [&] {
    fz_seek(ctx, file, offset, SEEK_SET);
    return fz_read(ctx, file, into, length);
  });
}

// Whether "startxref" at `at` is followed by `offset` and "%%EOF"; then where the line ends. `bytes` holds
// at least kTail bytes after `at` unless the file ends sooner.
std::optional<RevisionEnd> MatchEnd(const unsigned char* bytes, std::size_t length, std::size_t at, std::int64_t base,
                                    std::int64_t offset) {
  std::size_t i = at + 9;
  while (i < length && IsPdfSpace(bytes[i])) ++i;
  std::int64_t value = 0;
  const std::size_t digits = i;
  while (i < length && bytes[i] >= '0' && bytes[i] <= '9' && value < (INT64_MAX - 9) / 10)
    value = value * 10 + (bytes[i++] - '0');
  if (i == digits || value != offset) return std::nullopt;
  while (i < length && IsPdfSpace(bytes[i]) && bytes[i] != '%') ++i;
  if (i + 5 > length || std::memcmp(bytes + i, "%%EOF", 5) != 0) return std::nullopt;
  i += 5;
  RevisionEnd end;
  end.eofEnd = base + static_cast<std::int64_t>(i);
  if (i < length && bytes[i] == '\r') ++i;
  if (i < length && bytes[i] == '\n') ++i;
  end.end = base + static_cast<std::int64_t>(i);
  return end;
}

// The first "startxref <offset> %%EOF" at or after the section's offset: where a writer ends the update
// whose cross-reference starts there.
std::optional<RevisionEnd> FindRevisionEnd(fz_context* ctx, fz_stream* file, std::int64_t fileSize,
                                           std::int64_t offset) {
  if (offset < 0 || offset >= fileSize) return std::nullopt;
  std::vector<unsigned char> buffer(kChunk + kTail);
  std::int64_t base = offset;  // file offset of buffer[0]
  std::size_t held = 0;
  while (true) {
    const std::int64_t next = base + static_cast<std::int64_t>(held);
    const std::size_t room = buffer.size() - held;
    const std::size_t got = next < fileSize ? ReadAt(ctx, file, next, buffer.data() + held, room) : 0;
    held += got;
    const bool atEnd = got == 0 || base + static_cast<std::int64_t>(held) >= fileSize;
    // Keywords whose line may run past what is held wait for the next read.
    const std::size_t scanUpTo = atEnd ? held : held > kTail ? held - kTail : 0;
    for (std::size_t at = 0; at + 9 <= held && at < scanUpTo; ++at) {
      const void* hit = std::memchr(buffer.data() + at, 's', scanUpTo - at);
      if (hit == nullptr) break;
      at = static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - buffer.data());
      if (at + 9 > held || std::memcmp(buffer.data() + at, "startxref", 9) != 0) continue;
      if (auto end = MatchEnd(buffer.data(), held, at, base, offset)) return end;
    }
    if (atEnd) return std::nullopt;
    std::memmove(buffer.data(), buffer.data() + scanUpTo, held - scanUpTo);
    base += static_cast<std::int64_t>(scanUpTo);
    held -= scanUpTo;
  }
}

}  // namespace

int FirstFileSection(pdf_document* doc) { return doc->num_incremental_sections; }

int FileSectionCount(pdf_document* doc) { return doc->num_xref_sections - doc->num_incremental_sections; }

RevisionMap ReadRevisionMap(fz_context* ctx, pdf_document* doc) {
  RevisionMap map;
  const int first = FirstFileSection(doc);
  const int count = FileSectionCount(doc);
  if (doc->repair_attempted || count <= 0 || doc->file == nullptr) return map;
  // The offsets MuPDF followed: startxref for the newest section, then each trailer's /Prev.
  std::vector<std::int64_t> offsets(static_cast<std::size_t>(count));
  offsets[0] = doc->startxref;
  for (int k = 0; k < count; ++k) {
    pdf_obj* trailer = doc->xref_sections[first + k].trailer;
    pdf_obj* prev = Mu(ctx, [&] { return pdf_dict_get(ctx, trailer, PDF_NAME(Prev)); });
    const bool hasPrev = Mu(ctx, [&] { return pdf_is_int(ctx, prev); }) != 0;
    if (k + 1 == count) {
      // MuPDF stops early only on a loop in the chain; then the sections do not say what the file holds.
      if (hasPrev) return map;
      break;
    }
    if (!hasPrev) return map;
    offsets[static_cast<std::size_t>(k) + 1] = Mu(ctx, [&] { return pdf_to_int64(ctx, prev); });
  }
  std::vector<std::optional<RevisionEnd>> found(static_cast<std::size_t>(count));
  for (int k = 0; k < count; ++k)
    found[static_cast<std::size_t>(k)] =
        FindRevisionEnd(ctx, doc->file, doc->file_size, offsets[static_cast<std::size_t>(k)]);
  // The newest revision runs to the end of the file, whatever follows its last line.
  if (!found[0]) found[0] = RevisionEnd{doc->file_size, doc->file_size};

  // A section without an end of its own lies inside the bytes of a newer one's revision (the main section of
  // a linearized original, or an update a writer gave two cross-references): it belongs to that revision.
  map.revisionOfSection.assign(static_cast<std::size_t>(count), -1);
  std::vector<int> waiting;
  for (int k = count - 1; k >= 0; --k) {
    const auto& end = found[static_cast<std::size_t>(k)];
    if (!end) {
      waiting.push_back(k);
      continue;
    }
    if (map.ends.empty() || end->end > map.ends.back()) {
      map.ends.push_back(end->end);
      map.eofEnds.push_back(end->eofEnd);
    } else if (end->end != map.ends.back()) {
      return RevisionMap{};  // a newer section ending before an older one
    }
    const int revision = static_cast<int>(map.ends.size()) - 1;
    const std::int64_t revisionStart = revision == 0 ? 0 : map.ends[static_cast<std::size_t>(revision) - 1];
    waiting.push_back(k);
    for (const int section : waiting) {
      const std::int64_t offset = offsets[static_cast<std::size_t>(section)];
      if (offset < revisionStart || offset >= map.ends.back()) return RevisionMap{};
      map.revisionOfSection[static_cast<std::size_t>(section)] = revision;
    }
    waiting.clear();
  }
  map.known = true;
  return map;
}

const RevisionMap& RevisionsOf(qp_document document) {
  static const RevisionMap unknown;
  pdf_document* doc = document->doc;
  if (doc->repair_attempted) return unknown;
  if (!document->revisions || document->revisionsOf != doc) {
    document->revisions = std::make_unique<RevisionMap>(ReadRevisionMap(document->ctx, doc));
    document->revisionsOf = doc;
  }
  if (document->revisions->known &&
      document->revisions->revisionOfSection.size() != static_cast<std::size_t>(FileSectionCount(doc)))
    return unknown;
  return *document->revisions;
}

}  // namespace sealrun::platform::pdfengine
