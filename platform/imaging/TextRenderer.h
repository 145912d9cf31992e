#pragma once
// Text measuring and drawing with an installed outline font, as a device context does it with a font of
// a given cell height: the extent is the sum of the glyph advances by the cell height, and text is drawn
// with the top of its cell at the given y.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/imaging/Image.h"

namespace sealrun::platform::imaging {

struct TextExtent {
  int width = 0;
  int height = 0;
};

class TextRenderer {
 public:
  // The face named `faceName` as fontconfig resolves it ("宋体" resolves to an installed Song/Ming face
  // such as AR PL UMing), scaled so that its cell (Windows ascent plus descent) is cellHeight pixels.
  // nullopt when no font file can be loaded or the height is not positive.
  static std::optional<TextRenderer> Create(std::u16string_view faceName, int cellHeight);

  TextRenderer(TextRenderer&&) noexcept;
  TextRenderer& operator=(TextRenderer&&) noexcept;
  ~TextRenderer();

  // Advance widths summed (whole pixels per glyph) by the cell height.
  TextExtent Measure(std::u16string_view text);
  // Draws the text on a 24-bit canvas with its cell's top-left corner at (x, y), clipped to the canvas.
  void Draw(Image& canvas, int x, int y, std::u16string_view text, Rgb color = {});

  // The font file in use, its family and the cell's ascent in pixels.
  const std::string& FontFile() const;
  const std::string& FamilyName() const;
  int Ascent() const;
  int CellHeight() const;

 private:
  struct Impl;
  explicit TextRenderer(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace sealrun::platform::imaging
