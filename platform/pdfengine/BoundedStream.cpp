// Reading a stream's decoded data up to a bound, decoding no further: a few kilobytes of compressed data may
// decode to gigabytes (a flate bomb), and a caller that wants at most a record's worth must not pay for them.
#include <cstring>

#include "platform/pdfengine/Internal.h"

using namespace sealrun::platform::pdfengine;

extern "C" int qp_cos_stream_to_buffer_bounded(qp_cos stream, void* buffer, size_t capacity, size_t* length) {
  return GuardCode(__func__, [&] {
    if (stream == nullptr || length == nullptr || (buffer == nullptr && capacity != 0))
      Fail(QP_ERR_ARGUMENT, "no stream or buffer");
    fz_context* ctx = stream->document->ctx;
    pdf_obj* obj = stream->obj;
    if (!Mu(ctx, [&] { return pdf_is_stream(ctx, obj); })) Fail(QP_ERR_ARGUMENT, "not a stream");
    const int num = Mu(ctx, [&] { return pdf_to_num(ctx, obj); });
    if (num <= 0) Fail(QP_ERR_ARGUMENT, "stream without a number");
    pdf_document* doc = pdf_get_bound_document(ctx, obj);
    auto* bytes = static_cast<unsigned char*>(buffer);
    size_t total = 0;
    bool longer = false;
    Mu(ctx, [&] {
      fz_stream* data = pdf_open_stream_number(ctx, doc, num);
      fz_try(ctx) {
        while (total < capacity) {
          const size_t got = fz_read(ctx, data, bytes + total, capacity - total);
          if (got == 0) break;
          total += got;
        }
        unsigned char probe = 0;
        longer = total == capacity && fz_read(ctx, data, &probe, 1) == 1;
        if (data->error) fz_throw(ctx, FZ_ERROR_GENERIC, "stream data cannot be decoded in full");
      }
      fz_always(ctx) { fz_drop_stream(ctx, data); }
      fz_catch(ctx) { fz_rethrow(ctx); }
    });
    *length = total;
    return longer ? static_cast<int>(QP_ERR_BUFFER) : QP_OK;
  });
}
