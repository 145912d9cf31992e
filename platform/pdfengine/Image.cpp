// Image handles and the image XObjects made from them: JPEG bytes kept as they are (DCTDecode),
// pixel rows compressed with Flate, palettes, soft masks and colour-key masks.
#include <zlib.h>

#include <array>
#include <cstring>
#include <mutex>

#include "platform/pdfengine/Internal.h"

using namespace sealrun::platform::pdfengine;

namespace sealrun::platform::pdfengine {

namespace {

std::string Compress(const std::string& data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::string out(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
                static_cast<uLong>(data.size()), Z_DEFAULT_COMPRESSION) != Z_OK)
    Fail(QP_ERR_ENGINE, "compression failed");
  out.resize(size);
  return out;
}

// The last few pictures compressed, with their compressed bytes: a batch stamps the same seal picture
// (and its mask) into every document, and compressing it is most of the cost of adding it.
class RecentCompressions {
 public:
  std::string Deflate(const std::string& data) {
    {
      const std::lock_guard<std::mutex> guard(lock_);
      for (const Entry& entry : entries_)
        if (entry.input == data) return entry.output;
    }
    std::string output = Compress(data);
    const std::lock_guard<std::mutex> guard(lock_);
    entries_[next_] = Entry{data, output};
    next_ = (next_ + 1) % entries_.size();
    return output;
  }

 private:
  struct Entry {
    std::string input;
    std::string output;
  };
  std::mutex lock_;
  std::array<Entry, 4> entries_;
  std::size_t next_ = 0;
};

}  // namespace

std::string Deflate(const std::string& data) {
  // Only pictures are worth remembering; large streams would only fill memory.
  constexpr std::size_t kRememberedSize = 1 << 20;
  if (data.size() > kRememberedSize) return Compress(data);
  static RecentCompressions recent;
  return recent.Deflate(data);
}

namespace {

int ComponentsOf(int colorSpace) { return colorSpace == QP_COLORSPACE_RGB ? 3 : 1; }

std::size_t RowBytes(const qp_image_s& image) {
  const std::size_t bits = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.bitsPerComponent) *
                           static_cast<std::size_t>(image.jpeg ? image.components : ComponentsOf(image.colorSpace));
  return (bits + 7) / 8;
}

// Every value the dictionary needs, made before any MuPDF call so nothing C++ is live inside one.
struct ImagePlan {
  int width, height, bpc;
  const char* deviceSpace;  // DeviceGray, DeviceRGB, DeviceCMYK
  bool indexed;
  int paletteEntries;
  const std::string* palette;
  bool dct;
  bool invertCmyk;
  const std::string* data;
  const std::vector<int>* maskKey;
};

pdf_obj* AddPlanned(fz_context* ctx, pdf_document* doc, const ImagePlan& plan, pdf_obj* softMaskRef) {
  return Mu(ctx, [&] {
    pdf_obj* dict = pdf_new_dict(ctx, doc, 10);
    fz_buffer* buffer = nullptr;
    pdf_obj* ref = nullptr;
    fz_var(buffer);
    fz_try(ctx) {
      pdf_dict_put(ctx, dict, PDF_NAME(Type), PDF_NAME(XObject));
      pdf_dict_put(ctx, dict, PDF_NAME(Subtype), PDF_NAME(Image));
      pdf_dict_put_int(ctx, dict, PDF_NAME(Width), plan.width);
      pdf_dict_put_int(ctx, dict, PDF_NAME(Height), plan.height);
      pdf_dict_put_int(ctx, dict, PDF_NAME(BitsPerComponent), plan.bpc);
      if (plan.indexed) {
        pdf_obj* space = pdf_dict_put_array(ctx, dict, PDF_NAME(ColorSpace), 4);
        pdf_array_push(ctx, space, PDF_NAME(Indexed));
        pdf_array_push(ctx, space, PDF_NAME(DeviceRGB));
        pdf_array_push_int(ctx, space, plan.paletteEntries - 1);
        pdf_array_push_string(ctx, space, plan.palette->data(), plan.palette->size());
      } else {
        pdf_dict_put_name(ctx, dict, PDF_NAME(ColorSpace), plan.deviceSpace);
      }
      if (plan.invertCmyk) {
        pdf_obj* decode = pdf_dict_put_array(ctx, dict, PDF_NAME(Decode), 8);
        for (int i = 0; i < 4; ++i) {
          pdf_array_push_int(ctx, decode, 1);
          pdf_array_push_int(ctx, decode, 0);
        }
      }
      pdf_dict_put(ctx, dict, PDF_NAME(Filter), plan.dct ? PDF_NAME(DCTDecode) : PDF_NAME(FlateDecode));
      if (softMaskRef != nullptr) pdf_dict_put(ctx, dict, PDF_NAME(SMask), softMaskRef);
      if (!plan.maskKey->empty()) {
        pdf_obj* mask = pdf_dict_put_array(ctx, dict, PDF_NAME(Mask), static_cast<int>(plan.maskKey->size()));
        for (int value : *plan.maskKey) pdf_array_push_int(ctx, mask, value);
      }
      buffer = fz_new_buffer_from_copied_data(ctx, reinterpret_cast<const unsigned char*>(plan.data->data()),
                                              plan.data->size());
      ref = pdf_add_stream(ctx, doc, buffer, dict, 1);
    }
    fz_always(ctx) {
      fz_drop_buffer(ctx, buffer);
      pdf_drop_obj(ctx, dict);
    }
    fz_catch(ctx) fz_rethrow(ctx);
    return ref;
  });
}

}  // namespace

pdf_obj* AddImageObject(fz_context* ctx, pdf_document* doc, const qp_image_s& image) {
  pdf_obj* softMaskRef = nullptr;
  if (image.softMask) softMaskRef = AddImageObject(ctx, doc, *image.softMask);
  std::string data;
  ImagePlan plan{};
  plan.width = image.width;
  plan.height = image.height;
  plan.bpc = image.bitsPerComponent;
  plan.palette = &image.palette;
  plan.maskKey = &image.maskKey;
  if (image.jpeg) {
    plan.dct = true;
    plan.deviceSpace = image.components == 1 ? "DeviceGray" : image.components == 4 ? "DeviceCMYK" : "DeviceRGB";
    // Adobe writes CMYK JPEGs inverted; readers expect the inverting /Decode with them.
    plan.invertCmyk = image.components == 4;
    plan.data = &image.bytes;
  } else {
    plan.indexed = image.colorSpace == QP_COLORSPACE_INDEXED;
    plan.paletteEntries = static_cast<int>(image.palette.size() / 3);
    plan.deviceSpace = image.colorSpace == QP_COLORSPACE_RGB ? "DeviceRGB" : "DeviceGray";
    data = Deflate(image.bytes);
    plan.data = &data;
  }
  try {
    pdf_obj* ref = AddPlanned(ctx, doc, plan, softMaskRef);
    pdf_drop_obj(ctx, softMaskRef);
    return ref;
  } catch (...) {
    pdf_drop_obj(ctx, softMaskRef);
    throw;
  }
}

}  // namespace sealrun::platform::pdfengine

extern "C" qp_image qp_image_create_from_raw_data(qp_document document, int kind, const void* bytes, size_t length) {
  return Guard<qp_image>(__func__, nullptr, [&]() -> qp_image {
    if (document == nullptr || kind != 0 || bytes == nullptr || length < 4) return nullptr;
    const auto* b = static_cast<const unsigned char*>(bytes);
    if (b[0] != 0xFF || b[1] != 0xD8) return nullptr;
    fz_context* ctx = document->ctx;
    auto image = std::make_unique<qp_image_s>();
    image->document = document;
    image->jpeg = true;
    image->bytes.assign(static_cast<const char*>(bytes), length);
    // Size and components from the JPEG header, through MuPDF's own decoder.
    struct Info {
      int w, h, n, bpc;
    } info{};
    Mu(ctx, [&] {
      fz_buffer* buffer = fz_new_buffer_from_copied_data(ctx, b, length);
      fz_image* decoded = nullptr;
      fz_var(decoded);
      fz_try(ctx) {
        decoded = fz_new_image_from_buffer(ctx, buffer);
        info = {decoded->w, decoded->h, decoded->n, decoded->bpc};
      }
      fz_always(ctx) {
        fz_drop_image(ctx, decoded);
        fz_drop_buffer(ctx, buffer);
      }
      fz_catch(ctx) fz_rethrow(ctx);
    });
    if (info.w <= 0 || info.h <= 0 || (info.n != 1 && info.n != 3 && info.n != 4)) return nullptr;
    image->width = info.w;
    image->height = info.h;
    image->components = info.n;
    image->bitsPerComponent = 8;
    return image.release();
  });
}

extern "C" qp_image qp_image_create_from_data(qp_document document, int width, int height, int bitsPerComponent,
                                              int colorSpace, const void* bytes, size_t length) {
  return Guard<qp_image>(__func__, nullptr, [&]() -> qp_image {
    if (document == nullptr || bytes == nullptr || width <= 0 || height <= 0 || width > 65535 || height > 65535)
      return nullptr;
    if (bitsPerComponent != 1 && bitsPerComponent != 2 && bitsPerComponent != 4 && bitsPerComponent != 8) return nullptr;
    if (colorSpace != QP_COLORSPACE_GRAY && colorSpace != QP_COLORSPACE_RGB && colorSpace != QP_COLORSPACE_INDEXED)
      return nullptr;
    if (colorSpace == QP_COLORSPACE_RGB && bitsPerComponent != 8) return nullptr;
    auto image = std::make_unique<qp_image_s>();
    image->document = document;
    image->width = width;
    image->height = height;
    image->bitsPerComponent = bitsPerComponent;
    image->colorSpace = colorSpace;
    if (length < RowBytes(*image) * static_cast<std::size_t>(height)) return nullptr;
    image->bytes.assign(static_cast<const char*>(bytes), RowBytes(*image) * static_cast<std::size_t>(height));
    return image.release();
  });
}

extern "C" int qp_image_set_palette(qp_image image, const unsigned char* rgb, int entries) {
  return GuardCode(__func__, [&] {
    if (image == nullptr || rgb == nullptr || entries < 1 || entries > 256) Fail(QP_ERR_ARGUMENT, "bad palette");
    if (image->jpeg || image->colorSpace != QP_COLORSPACE_INDEXED) Fail(QP_ERR_ARGUMENT, "not an indexed image");
    image->palette.assign(reinterpret_cast<const char*>(rgb), static_cast<std::size_t>(entries) * 3);
    return QP_OK;
  });
}

extern "C" int qp_image_set_soft_mask(qp_image image, qp_image mask) {
  return GuardCode(__func__, [&] {
    if (image == nullptr || mask == nullptr || mask == image) Fail(QP_ERR_ARGUMENT, "no mask");
    if (mask->jpeg || mask->colorSpace != QP_COLORSPACE_GRAY || mask->softMask)
      Fail(QP_ERR_ARGUMENT, "a soft mask is a gray image");
    if (mask->width != image->width || mask->height != image->height) Fail(QP_ERR_ARGUMENT, "mask size differs");
    auto copy = std::make_unique<qp_image_s>();
    copy->document = mask->document;
    copy->bytes = mask->bytes;
    copy->width = mask->width;
    copy->height = mask->height;
    copy->bitsPerComponent = mask->bitsPerComponent;
    copy->colorSpace = QP_COLORSPACE_GRAY;
    image->softMask = std::move(copy);
    return QP_OK;
  });
}

extern "C" int qp_image_set_mask_key(qp_image image, const int* values, int count) {
  return GuardCode(__func__, [&] {
    if (image == nullptr || values == nullptr) Fail(QP_ERR_ARGUMENT, "no mask key");
    const int components = image->jpeg ? image->components
                           : image->colorSpace == QP_COLORSPACE_RGB ? 3 : 1;
    // A colour key of an RGB key on a one-component image keeps its first pair.
    if (count != 2 * components && !(components == 1 && count == 6)) Fail(QP_ERR_ARGUMENT, "wrong key length");
    const int used = 2 * components;
    const int maxValue = (1 << image->bitsPerComponent) - 1;
    image->maskKey.clear();
    for (int i = 0; i < used; ++i) {
      if (values[i] < 0 || values[i] > maxValue) Fail(QP_ERR_ARGUMENT, "key value out of range");
      image->maskKey.push_back(values[i]);
    }
    return QP_OK;
  });
}

extern "C" int qp_image_free(qp_image image) {
  std::unique_ptr<qp_image_s> owned(image);
  return QP_OK;
}
