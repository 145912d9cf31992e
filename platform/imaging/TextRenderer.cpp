#include "platform/imaging/TextRenderer.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/text/Utf.h"

namespace sealrun::platform::imaging {
namespace {

struct LibraryDeleter {
  void operator()(FT_Library library) const { FT_Done_FreeType(library); }
};
struct FaceDeleter {
  void operator()(FT_Face face) const { FT_Done_Face(face); }
};
struct PatternDeleter {
  void operator()(FcPattern* pattern) const { FcPatternDestroy(pattern); }
};
using LibraryHandle = std::unique_ptr<FT_LibraryRec_, LibraryDeleter>;
using FaceHandle = std::unique_ptr<FT_FaceRec_, FaceDeleter>;
using PatternHandle = std::unique_ptr<FcPattern, PatternDeleter>;

struct FontFileRef {
  std::string file;
  int index = 0;
  std::string family;
};

bool IsSongFace(std::u16string_view faceName) {
  return faceName == u"宋体" || faceName == u"SimSun" || faceName == u"新宋体" || faceName == u"NSimSun";
}

const FcChar8* FcText(const std::string& text) { return reinterpret_cast<const FcChar8*>(text.c_str()); }

// "宋体" is SimSun's own name; on a machine without it the Song (Ming) faces of the distribution stand in.
// The Chinese language tag makes fontconfig prefer a face that covers the date's characters.
// Fontconfig's configuration and its caches live for the process; they are released at exit so that nothing
// allocated here outlives it.
class FontconfigSession {
 public:
  FontconfigSession() : ready_(FcInit() == FcTrue) {}
  ~FontconfigSession() {
    if (ready_) FcFini();
  }
  FontconfigSession(const FontconfigSession&) = delete;
  FontconfigSession& operator=(const FontconfigSession&) = delete;
  bool Ready() const { return ready_; }

 private:
  bool ready_;
};

std::optional<FontFileRef> ResolveFace(std::u16string_view faceName) {
  static const FontconfigSession session;
  if (!session.Ready()) return std::nullopt;
  const PatternHandle pattern(FcPatternCreate());
  if (pattern == nullptr) return std::nullopt;
  const std::string family = text::Utf16ToUtf8(faceName);
  FcPatternAddString(pattern.get(), FC_FAMILY, FcText(family));
  if (IsSongFace(faceName)) {
    for (const std::string alias : {"SimSun", "NSimSun", "AR PL UMing CN", "AR PL SungtiL GB", "Noto Serif CJK SC"}) {
      FcPatternAddString(pattern.get(), FC_FAMILY, FcText(alias));
    }
    FcPatternAddString(pattern.get(), FC_LANG, FcText(std::string("zh-cn")));
  }
  FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
  FcDefaultSubstitute(pattern.get());
  FcResult result = FcResultNoMatch;
  const PatternHandle match(FcFontMatch(nullptr, pattern.get(), &result));
  if (match == nullptr) return std::nullopt;
  FcChar8* file = nullptr;
  if (FcPatternGetString(match.get(), FC_FILE, 0, &file) != FcResultMatch || file == nullptr) return std::nullopt;
  FontFileRef ref;
  ref.file = reinterpret_cast<const char*>(file);
  int index = 0;
  if (FcPatternGetInteger(match.get(), FC_INDEX, 0, &index) == FcResultMatch) ref.index = index;
  FcChar8* matchedFamily = nullptr;
  if (FcPatternGetString(match.get(), FC_FAMILY, 0, &matchedFamily) == FcResultMatch && matchedFamily != nullptr) {
    ref.family = reinterpret_cast<const char*>(matchedFamily);
  }
  return ref;
}

}  // namespace

struct TextRenderer::Impl {
  LibraryHandle library;
  FaceHandle face;
  std::string file;
  std::string family;
  int cellHeight = 0;
  int ascent = 0;
};

TextRenderer::TextRenderer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
TextRenderer::TextRenderer(TextRenderer&&) noexcept = default;
TextRenderer& TextRenderer::operator=(TextRenderer&&) noexcept = default;
TextRenderer::~TextRenderer() = default;

std::optional<TextRenderer> TextRenderer::Create(std::u16string_view faceName, int cellHeight) {
  if (cellHeight <= 0) return std::nullopt;
  const std::optional<FontFileRef> ref = ResolveFace(faceName);
  if (!ref) return std::nullopt;
  auto impl = std::make_unique<Impl>();
  FT_Library library = nullptr;
  if (FT_Init_FreeType(&library) != 0) return std::nullopt;
  impl->library.reset(library);
  FT_Face face = nullptr;
  if (FT_New_Face(library, ref->file.c_str(), ref->index, &face) != 0) return std::nullopt;
  impl->face.reset(face);
  if (!FT_IS_SCALABLE(face) || face->units_per_EM == 0) return std::nullopt;

  // A positive font height asks for the cell height: the Windows ascent plus descent of the face (OS/2
  // usWinAscent + usWinDescent, hhea when the table is missing) is scaled to cellHeight pixels. SimSun's cell
  // is exactly its em (a 12-pixel 宋体 has 12-pixel ideographs and 6-pixel digits, so a date is 84 pixels
  // wide); its stand-ins such as AR PL UMing declare a taller cell, which would shrink every glyph by a
  // pixel. For 宋体 the face is therefore set to cellHeight pixels per em, with the ascent taken in the
  // proportion of the face's own cell.
  long cellAscent = face->ascender;
  long cellDescent = -face->descender;
  if (const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
      os2 != nullptr && os2->usWinAscent + os2->usWinDescent > 0) {
    cellAscent = os2->usWinAscent;
    cellDescent = os2->usWinDescent;
  }
  if (cellAscent + cellDescent <= 0) return std::nullopt;
  const double cellUnits = static_cast<double>(cellAscent + cellDescent);
  const double pixelsPerEm = IsSongFace(faceName) ? cellHeight : cellHeight * face->units_per_EM / cellUnits;
  const auto size26Dot6 = static_cast<FT_F26Dot6>(std::lround(pixelsPerEm * 64));
  if (FT_Set_Char_Size(face, 0, size26Dot6, 72, 72) != 0) return std::nullopt;
  impl->cellHeight = cellHeight;
  impl->ascent = std::clamp(static_cast<int>(std::lround(cellAscent * cellHeight / cellUnits)), 0, cellHeight);
  impl->file = ref->file;
  impl->family = ref->family;
  return TextRenderer(std::move(impl));
}

TextExtent TextRenderer::Measure(std::u16string_view text) {
  TextExtent extent{0, impl_->cellHeight};
  FT_Face face = impl_->face.get();
  for (const char32_t point : text::CodePoints(text)) {
    if (FT_Load_Char(face, point, FT_LOAD_DEFAULT) != 0) continue;
    extent.width += static_cast<int>((face->glyph->advance.x + 32) >> 6);
  }
  return extent;
}

void TextRenderer::Draw(Image& canvas, int x, int y, std::u16string_view text, Rgb color) {
  if (canvas.IsIndexed()) return;
  FT_Face face = impl_->face.get();
  const int baseline = y + impl_->ascent;
  int pen = x;
  for (const char32_t point : text::CodePoints(text)) {
    if (FT_Load_Char(face, point, FT_LOAD_RENDER) != 0) continue;
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    const int left = pen + slot->bitmap_left;
    const int top = baseline - slot->bitmap_top;
    for (unsigned row = 0; row < bitmap.rows; ++row) {
      const int cy = top + static_cast<int>(row);
      if (cy < 0 || cy >= canvas.Height()) continue;
      const unsigned char* source = bitmap.buffer + static_cast<std::ptrdiff_t>(row) * bitmap.pitch;
      uint8_t* target = canvas.RowFromTop(cy);
      for (unsigned column = 0; column < bitmap.width; ++column) {
        const int cx = left + static_cast<int>(column);
        if (cx < 0 || cx >= canvas.Width()) continue;
        unsigned coverage = 0;
        if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
          coverage = (source[column >> 3] >> (7 - (column & 7))) & 1 ? 255 : 0;
        } else if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
          coverage = bitmap.num_grays > 1 ? source[column] * 255u / (bitmap.num_grays - 1) : source[column];
        }
        if (coverage == 0) continue;
        uint8_t* pixel = target + static_cast<size_t>(cx) * 3;
        const uint8_t channels[3] = {color.blue, color.green, color.red};
        for (int c = 0; c < 3; ++c) {
          pixel[c] = static_cast<uint8_t>((channels[c] * coverage + pixel[c] * (255 - coverage) + 127) / 255);
        }
      }
    }
    pen += static_cast<int>((slot->advance.x + 32) >> 6);
  }
}

const std::string& TextRenderer::FontFile() const { return impl_->file; }
const std::string& TextRenderer::FamilyName() const { return impl_->family; }
int TextRenderer::Ascent() const { return impl_->ascent; }
int TextRenderer::CellHeight() const { return impl_->cellHeight; }

}  // namespace sealrun::platform::imaging
