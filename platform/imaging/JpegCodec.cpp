// JPEG through libjpeg(-turbo). libjpeg reports errors by longjmp; the functions that call it keep every
// C++ object they own outside the jump's reach (in the caller's frame), so nothing is skipped.
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

#include "platform/imaging/Decoders.h"
#include "platform/imaging/ImageCodec.h"

namespace sealrun::platform::imaging {
namespace {

struct ErrorManager {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

[[noreturn]] void OnError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}
void OnMessage(j_common_ptr) {}

// Scratch space that outlives a longjmp: owned by the caller of the function that calls libjpeg.
struct DecodeState {
  std::optional<Image> image;
  std::vector<uint8_t> row;
};

bool DecodeInto(std::span<const uint8_t> bytes, DecodeState& state) {
  jpeg_decompress_struct info{};
  ErrorManager errors{};
  info.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = OnError;
  errors.manager.output_message = OnMessage;
  if (setjmp(errors.jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
  if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  const bool gray = info.jpeg_color_space == JCS_GRAYSCALE;
  const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  info.out_color_space = gray ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_start_decompress(&info);
  const int width = static_cast<int>(info.output_width);
  const int height = static_cast<int>(info.output_height);
  state.image = Image::Create(width, height, gray ? 8 : 24);
  if (!state.image) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  if (gray) state.image->SetPalette(detail::GrayPalette(256));
  state.row.resize(static_cast<size_t>(width) * static_cast<size_t>(info.output_components));
  while (info.output_scanline < info.output_height) {
    const int y = static_cast<int>(info.output_scanline);
    JSAMPROW row = state.row.data();
    if (jpeg_read_scanlines(&info, &row, 1) != 1) break;
    uint8_t* target = state.image->RowFromTop(y);
    if (gray) {
      std::memcpy(target, row, static_cast<size_t>(width));
      continue;
    }
    for (int x = 0; x < width; ++x) {
      uint8_t* pixel = target + 3 * static_cast<size_t>(x);
      if (cmyk) {
        // Adobe writes CMYK inverted; the colour is the ink left uncovered.
        const uint8_t* source = row + 4 * static_cast<size_t>(x);
        const int k = source[3];
        pixel[2] = static_cast<uint8_t>(source[0] * k / 255);
        pixel[1] = static_cast<uint8_t>(source[1] * k / 255);
        pixel[0] = static_cast<uint8_t>(source[2] * k / 255);
      } else {
        const uint8_t* source = row + 3 * static_cast<size_t>(x);
        pixel[0] = source[2];
        pixel[1] = source[1];
        pixel[2] = source[0];
      }
    }
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

struct EncodeState {
  std::vector<uint8_t> row;
  unsigned char* output = nullptr;
  unsigned long size = 0;
  ~EncodeState() { std::free(output); }
};

bool EncodeInto(const Image& image, int quality, EncodeState& state) {
  jpeg_compress_struct info{};
  ErrorManager errors{};
  info.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = OnError;
  errors.manager.output_message = OnMessage;
  if (setjmp(errors.jump)) {
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, &state.output, &state.size);
  info.image_width = static_cast<JDIMENSION>(image.Width());
  info.image_height = static_cast<JDIMENSION>(image.Height());
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  state.row.resize(static_cast<size_t>(image.Width()) * 3);
  while (info.next_scanline < info.image_height) {
    const int y = static_cast<int>(info.next_scanline);
    for (int x = 0; x < image.Width(); ++x) {
      const Rgba color = image.PixelAt(x, y);
      state.row[3 * static_cast<size_t>(x)] = color.red;
      state.row[3 * static_cast<size_t>(x) + 1] = color.green;
      state.row[3 * static_cast<size_t>(x) + 2] = color.blue;
    }
    JSAMPROW row = state.row.data();
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

}  // namespace

namespace detail {

std::optional<Image> DecodeJpeg(std::span<const uint8_t> bytes) {
  DecodeState state;
  if (!DecodeInto(bytes, state)) return std::nullopt;
  return std::move(state.image);
}

}  // namespace detail

std::optional<std::string> EncodeJpeg(const Image& image, int quality) {
  EncodeState state;
  if (quality < 1 || quality > 100 || !EncodeInto(image, quality, state)) return std::nullopt;
  return std::string(reinterpret_cast<const char*>(state.output), state.size);
}

}  // namespace sealrun::platform::imaging
