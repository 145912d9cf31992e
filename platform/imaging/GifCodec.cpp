// GIF through giflib: the first frame on the logical screen, palette kept, transparent index from the
// graphic control extension. Records are walked one by one so sizes are checked before pixels are read.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/imaging/Decoders.h"

namespace sealrun::platform::imaging::detail {
namespace {

struct MemoryReader {
  std::span<const uint8_t> bytes;
  size_t position = 0;
};

int ReadFromMemory(GifFileType* gif, GifByteType* out, int length) {
  auto* reader = static_cast<MemoryReader*>(gif->UserData);
  const size_t available = reader->bytes.size() - reader->position;
  const size_t count = std::min(available, static_cast<size_t>(std::max(length, 0)));
  std::memcpy(out, reader->bytes.data() + reader->position, count);
  reader->position += count;
  return static_cast<int>(count);
}

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};

// Skips the sub-blocks of an extension, noting a transparent index from a graphic control block.
bool ReadExtension(GifFileType* gif, int& transparentIndex) {
  int code = 0;
  GifByteType* block = nullptr;
  if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return false;
  if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4) {
    GraphicsControlBlock control{};
    if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK) transparentIndex = control.TransparentColor;
  }
  while (block != nullptr)
    if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
  return true;
}

}  // namespace

std::optional<Image> DecodeGif(std::span<const uint8_t> bytes) {
  MemoryReader reader{bytes};
  int error = 0;
  std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&reader, ReadFromMemory, &error));
  if (!gif) return std::nullopt;

  int transparentIndex = NO_TRANSPARENT_COLOR;
  for (;;) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) return std::nullopt;
    if (type == TERMINATE_RECORD_TYPE) return std::nullopt;  // no frame at all
    if (type == EXTENSION_RECORD_TYPE) {
      if (!ReadExtension(gif.get(), transparentIndex)) return std::nullopt;
      continue;
    }
    if (type != IMAGE_DESC_RECORD_TYPE) continue;
    if (DGifGetImageDesc(gif.get()) == GIF_ERROR) return std::nullopt;
    break;
  }

  const GifImageDesc& frame = gif->Image;
  const ColorMapObject* colors = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
  if (colors == nullptr || frame.Width <= 0 || frame.Height <= 0) return std::nullopt;
  const int screenWidth = gif->SWidth > 0 ? gif->SWidth : frame.Width;
  const int screenHeight = gif->SHeight > 0 ? gif->SHeight : frame.Height;
  if (int64_t{frame.Width} * frame.Height > Image::kMaxPixels) return std::nullopt;
  auto image = Image::Create(screenWidth, screenHeight, 8);
  if (!image) return std::nullopt;

  std::vector<PaletteEntry> palette(256);
  for (int i = 0; i < colors->ColorCount && i < 256; ++i) {
    const GifColorType& c = colors->Colors[i];
    palette[static_cast<size_t>(i)] = {c.Blue, c.Green, c.Red, 0};
  }
  image->SetPalette(std::move(palette));
  if (transparentIndex >= 0 && transparentIndex < 256) image->SetTransparentIndex(transparentIndex);

  // Uncovered screen shows the transparent index, else the background colour.
  const auto fill = static_cast<uint8_t>(transparentIndex >= 0 ? transparentIndex : gif->SBackGroundColor);
  for (int y = 0; y < screenHeight; ++y) std::memset(image->RowFromTop(y), fill, static_cast<size_t>(screenWidth));

  std::vector<GifPixelType> line(static_cast<size_t>(frame.Width));
  auto placeLine = [&](int frameRow) {
    const int y = frame.Top + frameRow;
    if (y < 0 || y >= screenHeight) return;
    uint8_t* target = image->RowFromTop(y);
    for (int x = 0; x < frame.Width; ++x) {
      const int screenX = frame.Left + x;
      if (screenX >= 0 && screenX < screenWidth) target[screenX] = line[static_cast<size_t>(x)];
    }
  };
  if (frame.Interlace) {
    constexpr int kOffsets[] = {0, 4, 2, 1};
    constexpr int kJumps[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
      for (int row = kOffsets[pass]; row < frame.Height; row += kJumps[pass]) {
        if (DGifGetLine(gif.get(), line.data(), frame.Width) == GIF_ERROR) return std::nullopt;
        placeLine(row);
      }
  } else {
    for (int row = 0; row < frame.Height; ++row) {
      if (DGifGetLine(gif.get(), line.data(), frame.Width) == GIF_ERROR) return std::nullopt;
      placeLine(row);
    }
  }
  return image;
}

}  // namespace sealrun::platform::imaging::detail
