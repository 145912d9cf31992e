#include "platform/pdfengine/RepairedStreams.h"

#include <array>
#include <cstring>
#include <memory>
#include <unordered_set>
#include <vector>

#include "platform/pdfengine/SourceLexer.h"

namespace sealrun::platform::pdfengine {
namespace {

// A dictionary's source longer than this is left as it stands.
constexpr std::int64_t kMaxDictionarySource = 1 << 20;

// Skips one value whose first token is `first`; false at the end of the bytes or on an error.
bool SkipValue(SourceLexer& lexer, const Token& first) {
  int depth = 0;
  Token token = first;
  for (;;) {
    if (token.kind == TokenKind::End || token.kind == TokenKind::Error) return false;
    if (token.kind == TokenKind::OpenDict || token.kind == TokenKind::OpenArray) ++depth;
    if (token.kind == TokenKind::CloseDict || token.kind == TokenKind::CloseArray) --depth;
    if (depth <= 0) return depth == 0;
    token = lexer.Next();
  }
}

// When the integer just read starts a reference ("N G R"): its generation, the lexer moved past the "R".
std::optional<int> TakeReference(SourceLexer& lexer) {
  SourceLexer ahead(lexer.Bytes(), lexer.Position());
  const Token generation = ahead.Next();
  if (generation.kind != TokenKind::Int || generation.overflow || ahead.Next().kind != TokenKind::R) return std::nullopt;
  lexer = ahead;
  return static_cast<int>(generation.integer);
}

bool IsPdfSpace(unsigned char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == 0; }

// The stated length of a stream in the file, resolving a reference through the document; -1 when unknown.
std::int64_t StatedLengthOf(fz_context* ctx, pdf_document* doc, std::span<const unsigned char> source) {
  const auto stated = ReadStatedLength(source);
  if (!stated) return -1;
  if (!stated->reference) return stated->value;
  if (stated->value <= 0 || stated->value >= INT32_MAX) return -1;
  const std::unique_ptr<pdf_obj, ObjDrop> held(
      Mu(ctx, [&] { return pdf_new_indirect(ctx, doc, static_cast<int>(stated->value), stated->generation); }), ObjDrop{ctx});
  pdf_obj* reference = held.get();
  return Mu(ctx, [&] { return pdf_is_int(ctx, reference) ? pdf_to_int64(ctx, reference) : -1; });
}

// Whether the stream data starting at `dataAt` is followed by "endstream" after `length` bytes, as the stated
// length of a sound stream is.
bool EndsAtEndstream(fz_context* ctx, pdf_document* doc, std::int64_t dataAt, std::int64_t length) {
  std::array<unsigned char, 64> after{};
  const std::size_t read = Mu(ctx, [&] {
    fz_seek(ctx, doc->file, dataAt + length, SEEK_SET);
    return fz_read(ctx, doc->file, after.data(), after.size());
  });
  std::size_t at = 0;
  while (at < read && IsPdfSpace(after[at])) ++at;
  return read - at >= 9 && std::memcmp(after.data() + at, "endstream", 9) == 0;
}

}  // namespace

std::optional<StatedLength> ReadStatedLength(std::span<const unsigned char> source) {
  SourceLexer lexer(source);
  if (lexer.Next().kind != TokenKind::Int || lexer.Next().kind != TokenKind::Int) return std::nullopt;
  const Token obj = lexer.Next();
  if (obj.kind != TokenKind::Keyword || lexer.NameOf(obj) != "obj" || lexer.Next().kind != TokenKind::OpenDict)
    return std::nullopt;
  for (;;) {
    const Token key = lexer.Next();
    if (key.kind != TokenKind::Name) return std::nullopt;
    const bool length = lexer.NameOf(key) == "Length";  // names come without their "/"
    const Token value = lexer.Next();
    if (value.kind == TokenKind::Int) {
      const auto generation = TakeReference(lexer);
      if (length && !value.overflow) return StatedLength{generation.has_value(), value.integer, generation.value_or(0)};
      if (length) return std::nullopt;
      continue;
    }
    if (length || !SkipValue(lexer, value)) return std::nullopt;
  }
}

void MoveCorrectedStreamsIntoUpdate(fz_context* ctx, pdf_document* doc) {
  const int count = Mu(ctx, [&] { return pdf_xref_len(ctx, doc); });
  std::vector<unsigned char> source;
  std::unordered_set<std::int64_t> objectStreams;
  for (int number = 1; number < count; ++number) {
    const pdf_xref_entry* entry = Mu(ctx, [&] {
      return pdf_xref_is_incremental(ctx, doc, number) ? nullptr : pdf_get_xref_entry(ctx, doc, number);
    });
    // Only the streams the rebuild loaded can carry a measured length.
    if (entry == nullptr || entry->type != 'n' || entry->obj == nullptr || entry->stm_ofs <= entry->ofs ||
        entry->stm_ofs - entry->ofs > kMaxDictionarySource)
      continue;
    const std::int64_t at = entry->ofs;
    const std::int64_t dataAt = entry->stm_ofs;
    source.resize(static_cast<std::size_t>(dataAt - at));
    pdf_obj* dict = entry->obj;
    bool objectStream = false;
    const bool measured = Mu(ctx, [&] {
      fz_seek(ctx, doc->file, at, SEEK_SET);
      source.resize(fz_read(ctx, doc->file, source.data(), source.size()));
      objectStream = pdf_name_eq(ctx, pdf_dict_get(ctx, dict, PDF_NAME(Type)), PDF_NAME(ObjStm));
      // A length the rebuild measured is a direct number; a reference it left alone was not corrected.
      return pdf_is_int(ctx, pdf_dict_get(ctx, dict, PDF_NAME(Length))) != 0;
    });
    if (!measured) continue;
    const std::int64_t stated = StatedLengthOf(ctx, doc, source);
    if (stated >= 0 && EndsAtEndstream(ctx, doc, dataAt, stated)) continue;
    // An update holds no object streams: the objects inside one are written again one by one instead.
    if (objectStream)
      objectStreams.insert(number);
    else
      Mu(ctx, [&] { pdf_xref_ensure_incremental_object(ctx, doc, number); });
  }
  if (objectStreams.empty()) return;
  for (int number = 1; number < count; ++number) {
    const std::int64_t stream = Mu(ctx, [&]() -> std::int64_t {
      if (pdf_xref_is_incremental(ctx, doc, number)) return 0;
      const pdf_xref_entry* entry = pdf_get_xref_entry(ctx, doc, number);
      return entry != nullptr && entry->type == 'o' ? entry->ofs : 0;
    });
    if (objectStreams.count(stream) != 0) Mu(ctx, [&] { pdf_xref_ensure_incremental_object(ctx, doc, number); });
  }
}

}  // namespace sealrun::platform::pdfengine
