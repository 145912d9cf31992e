// Text layers from the page's content streams (annotations are not run, so nothing is synthesized)
// with character boxes in user space, and searching them.
#include <algorithm>

#include "platform/pdfengine/Internal.h"
#include "platform/text/Utf.h"

using namespace sealrun::platform::pdfengine;

namespace {

struct TextLayer {
  fz_stext_page* page;
  fz_matrix toUser;
};

// MuPDF's text runs in its displayed, top-left frame; the inverse of the page transform maps each
// character back to user space.
TextLayer ExtractText(fz_context* ctx, pdf_page* page) {
  return Mu(ctx, [&] {
    TextLayer layer{nullptr, fz_identity};
    fz_device* device = nullptr;
    fz_var(device);
    fz_var(layer);
    fz_try(ctx) {
      fz_rect mediabox;
      fz_matrix pageCtm;
      pdf_page_transform(ctx, page, &mediabox, &pageCtm);
      layer.toUser = fz_invert_matrix(pageCtm);
      fz_stext_options options{};
      layer.page = fz_new_stext_page(ctx, mediabox);
      device = fz_new_stext_device(ctx, layer.page, &options);
      pdf_run_page_contents(ctx, page, device, fz_identity, nullptr);
      fz_close_device(ctx, device);
    }
    fz_always(ctx) fz_drop_device(ctx, device);
    fz_catch(ctx) {
      fz_drop_stext_page(ctx, layer.page);
      fz_rethrow(ctx);
    }
    return layer;
  });
}

void CollectCharacters(const TextLayer& layer, std::vector<qp_char_info>& out) {
  int line = 0;
  for (fz_stext_block* block = layer.page->first_block; block != nullptr; block = block->next) {
    if (block->type != FZ_STEXT_BLOCK_TEXT) continue;
    for (fz_stext_line* l = block->u.t.first_line; l != nullptr; l = l->next, ++line) {
      for (fz_stext_char* c = l->first_char; c != nullptr; c = c->next) {
        const fz_rect box = fz_rect_from_quad(fz_transform_quad(c->quad, layer.toUser));
        qp_char_info info{};
        info.unicode = static_cast<uint32_t>(c->c);
        info.lineIndex = line;
        info.x0 = box.x0;
        info.y0 = box.y0;
        info.x1 = box.x1;
        info.y1 = box.y1;
        out.push_back(info);
      }
    }
  }
}

}  // namespace

extern "C" int qp_page_load_text(qp_page page, qp_text* text, void** second, int flags) {
  return GuardCode(__func__, [&] {
    if (text == nullptr) Fail(QP_ERR_ARGUMENT, "no text slot");
    *text = nullptr;
    if (second != nullptr) *second = nullptr;
    if (page == nullptr || flags != 0) Fail(QP_ERR_ARGUMENT, "no page");
    fz_context* ctx = page->document->ctx;
    auto loaded = std::make_unique<qp_text_s>();
    pdf_page* mupage = Mu(ctx, [&] { return pdf_load_page(ctx, page->doc, page->index); });
    TextLayer layer{nullptr, fz_identity};
    try {
      layer = ExtractText(ctx, mupage);
      CollectCharacters(layer, loaded->chars);
    } catch (...) {
      fz_drop_stext_page(ctx, layer.page);
      fz_drop_page(ctx, &mupage->super);
      throw;
    }
    fz_drop_stext_page(ctx, layer.page);
    fz_drop_page(ctx, &mupage->super);
    *text = loaded.release();
    return QP_OK;
  });
}

extern "C" int qp_page_close_text(qp_text text) {
  std::unique_ptr<qp_text_s> owned(text);
  return QP_OK;
}

extern "C" int qp_page_text_count(qp_text text) { return text == nullptr ? -1 : static_cast<int>(text->chars.size()); }

extern "C" int qp_page_text_char(qp_text text, int first, int count, qp_char_info* records) {
  return GuardCode(__func__, [&] {
    if (text == nullptr || records == nullptr || first < 0 || count < 0) Fail(QP_ERR_ARGUMENT, "bad range");
    if (static_cast<std::size_t>(first) + static_cast<std::size_t>(count) > text->chars.size())
      Fail(QP_ERR_ARGUMENT, "range beyond the text");
    std::copy_n(text->chars.begin() + first, count, records);
    return QP_OK;
  });
}

extern "C" int qp_document_search(qp_document document, qp_search* search) {
  return GuardCode(__func__, [&] {
    if (search == nullptr) Fail(QP_ERR_ARGUMENT, "no search slot");
    *search = nullptr;
    if (document == nullptr) Fail(QP_ERR_ARGUMENT, "no document");
    *search = std::make_unique<qp_search_s>().release();
    return QP_OK;
  });
}

extern "C" int qp_search_free(qp_search search) {
  std::unique_ptr<qp_search_s> owned(search);
  return QP_OK;
}

extern "C" int qp_search_set_option(qp_search search, int option, const void* value) {
  return GuardCode(__func__, [&] {
    if (search == nullptr || value == nullptr) Fail(QP_ERR_ARGUMENT, "no search");
    if (option != QP_SEARCH_OPTION_TEXT) Fail(QP_ERR_UNSUPPORTED, "unknown search option");
    search->needle = sealrun::platform::text::CodePoints(static_cast<const char16_t*>(value));
    search->first = -1;
    search->count = 0;
    return QP_OK;
  });
}

namespace {

bool MatchesAt(const qp_search_s& search, const qp_text_s& text, std::size_t at) {
  if (at + search.needle.size() > text.chars.size()) return false;
  for (std::size_t i = 0; i < search.needle.size(); ++i)
    if (text.chars[at + i].unicode != static_cast<uint32_t>(search.needle[i])) return false;
  return true;
}

int Step(qp_search search, qp_text text, int from, int direction) {
  if (search == nullptr || text == nullptr) Fail(QP_ERR_ARGUMENT, "no search");
  if (search->needle.empty()) Fail(QP_ERR_ARGUMENT, "nothing to find");
  for (int at = from; at >= 0 && static_cast<std::size_t>(at) < text->chars.size(); at += direction) {
    if (MatchesAt(*search, *text, static_cast<std::size_t>(at))) {
      search->first = at;
      search->count = static_cast<int>(search->needle.size());
      return QP_OK;
    }
  }
  return QP_ERR_NOT_FOUND;
}

}  // namespace

extern "C" int qp_search_first(qp_search search, qp_text text) {
  return GuardCode(__func__, [&] {
    if (search != nullptr) {
      search->first = -1;
      search->count = 0;
    }
    return Step(search, text, 0, 1);
  });
}

extern "C" int qp_search_next(qp_search search, qp_text text) {
  return GuardCode(__func__, [&] {
    if (search == nullptr) Fail(QP_ERR_ARGUMENT, "no search");
    return Step(search, text, search->first + 1, 1);
  });
}

extern "C" int qp_search_prev(qp_search search, qp_text text) {
  return GuardCode(__func__, [&] {
    if (search == nullptr) Fail(QP_ERR_ARGUMENT, "no search");
    if (search->first <= 0) return static_cast<int>(QP_ERR_NOT_FOUND);
    return Step(search, text, search->first - 1, -1);
  });
}

extern "C" int qp_search_result(qp_search search, int* first, int* count) {
  return GuardCode(__func__, [&] {
    if (search == nullptr || first == nullptr || count == nullptr) Fail(QP_ERR_ARGUMENT, "no search");
    *first = search->count > 0 ? search->first : 0;
    *count = search->count;
    return QP_OK;
  });
}
