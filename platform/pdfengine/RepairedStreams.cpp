#include "platform/pdfengine/RepairedStreams.h"

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

// Whether the integer just read starts a reference ("N G R"); if so the lexer is moved past it.
bool TakeReference(SourceLexer& lexer) {
  SourceLexer ahead(lexer.Bytes(), lexer.Position());
  if (ahead.Next().kind != TokenKind::Int || ahead.Next().kind != TokenKind::R) return false;
  lexer = ahead;
  return true;
}

}  // namespace

std::optional<std::int64_t> StatedLength(std::span<const unsigned char> source) {
  SourceLexer lexer(source);
  if (lexer.Next().kind != TokenKind::Int || lexer.Next().kind != TokenKind::Int) return std::nullopt;
  const Token obj = lexer.Next();
  if (obj.kind != TokenKind::Keyword || lexer.NameOf(obj) != "obj" || lexer.Next().kind != TokenKind::OpenDict)
    return std::nullopt;
  for (;;) {
    const Token key = lexer.Next();
    if (key.kind != TokenKind::Name) return std::nullopt;
    const bool length = lexer.NameOf(key) == "/Length";
    const Token value = lexer.Next();
    if (value.kind == TokenKind::Int) {
      if (TakeReference(lexer)) {
        if (length) return std::nullopt;
        continue;
      }
      if (length && !value.overflow) return value.integer;
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
    source.resize(static_cast<std::size_t>(entry->stm_ofs - entry->ofs));
    pdf_obj* dict = entry->obj;
    bool objectStream = false;
    const std::int64_t inMemory = Mu(ctx, [&] {
      fz_seek(ctx, doc->file, at, SEEK_SET);
      source.resize(fz_read(ctx, doc->file, source.data(), source.size()));
      objectStream = pdf_name_eq(ctx, pdf_dict_get(ctx, dict, PDF_NAME(Type)), PDF_NAME(ObjStm));
      // A length the rebuild measured is a direct number; a reference it left alone was not corrected.
      pdf_obj* length = pdf_dict_get(ctx, dict, PDF_NAME(Length));
      return pdf_is_int(ctx, length) ? pdf_to_int64(ctx, length) : -1;
    });
    if (inMemory < 0 || StatedLength(source) == inMemory) continue;
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
