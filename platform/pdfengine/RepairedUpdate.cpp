// MuPDF writes the changed and new objects after the original bytes as its incremental save does (encrypted
// as it encrypts them); the cross-reference it appends lists only those and points back into the broken
// table, so it is replaced by one listing every object, and a pending signature is completed afterwards,
// over the finished file.
#include "platform/pdfengine/RepairedUpdate.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <map>
#include <string_view>
#include <vector>

#include "platform/pdfengine/CrossReference.h"
#include "platform/pdfengine/RepairedStreams.h"

namespace sealrun::platform::pdfengine {
namespace {

// The one signature pending in the document, taken out before MuPDF's save so that MuPDF does not complete it
// over its own cross-reference; its record is released when this is dropped.
class DetachedSignature {
 public:
  DetachedSignature(fz_context* ctx, pdf_document* doc) : ctx_(ctx), doc_(doc) {
    pdf_xref* holder = nullptr;
    int pending = 0;
    for (int s = 0; s < doc->num_incremental_sections; ++s)
      for (pdf_unsaved_sig* sig = doc->xref_sections[s].unsaved_sigs; sig != nullptr; sig = sig->next) {
        holder = &doc->xref_sections[s];
        ++pending;
      }
    if (pending == 0) return;
    if (pending > 1) Fail(QP_ERR_UNSUPPORTED, "more than one signature waits to be written");
    record_ = holder->unsaved_sigs;
    holder->unsaved_sigs = nullptr;
    holder->unsaved_sigs_end = nullptr;
    // Room for the real /ByteRange, written over the placeholder: two ranges around the one /Contents. Made
    // once the signature is taken out: a change while one is pending would start another update.
    pdf_obj* field = record_->field;
    try {
      Mu(ctx, [&] {
        pdf_obj* range = pdf_dict_getl(ctx, field, PDF_NAME(V), PDF_NAME(ByteRange), nullptr);
        for (int i = 0; i < 4; ++i) pdf_array_push_int(ctx, range, INT_MAX);
      });
    } catch (...) {
      holder->unsaved_sigs = record_;
      holder->unsaved_sigs_end = &record_->next;
      throw;
    }
  }
  ~DetachedSignature() {
    if (record_ == nullptr) return;
    pdf_drop_obj(ctx_, record_->field);
    pdf_drop_signer(ctx_, record_->signer);
    fz_free(ctx_, record_);
  }
  DetachedSignature(const DetachedSignature&) = delete;
  DetachedSignature& operator=(const DetachedSignature&) = delete;

  bool Pending() const { return record_ != nullptr; }

  // Finds the signature dictionary in the update (which starts at `updateAt` in the file) and writes its
  // byte range: everything but the /Contents string, to the end of the file as it stands.
  void PlaceByteRange(std::string& update, std::int64_t updateAt, const std::vector<XrefEntry>& entries) {
    pdf_obj* field = record_->field;
    pdf_pkcs7_signer* signer = record_->signer;
    const int number = Mu(ctx_, [&] {
      return pdf_obj_parent_num(ctx_, pdf_dict_getl(ctx_, field, PDF_NAME(V), PDF_NAME(ByteRange), nullptr));
    });
    if (number <= 0 || static_cast<std::size_t>(number) >= entries.size() ||
        entries[number].kind != XrefEntry::Kind::InFile || entries[number].offset < updateAt)
      Fail(QP_ERR_SAVE, "the signature dictionary was not written with the update");
    const auto object = static_cast<std::size_t>(entries[number].offset - updateAt);
    if (object >= update.size()) Fail(QP_ERR_SAVE, "the signature dictionary lies past the update");
    const std::size_t room = Mu(ctx_, [&] { return signer->max_digest_size(ctx_, signer); });
    // The keys as MuPDF writes them, in this order, within the dictionary.
    const std::string_view window = std::string_view(update).substr(object, room * 2 + 1024);
    const std::size_t byteRange = window.find("/ByteRange");
    const std::size_t contents = window.find("/Contents");
    const std::size_t filter = window.find("/Filter");
    if (byteRange == std::string_view::npos || contents == std::string_view::npos || filter == std::string_view::npos ||
        byteRange > contents || contents + 10 > filter || window[contents + 9] != '<' || window[filter - 1] != '>')
      Fail(QP_ERR_SAVE, "the signature dictionary was not found where it was written");
    const std::int64_t fileEnd = updateAt + static_cast<std::int64_t>(update.size());
    contentsStart_ = updateAt + static_cast<std::int64_t>(object + contents + 9);
    contentsEnd_ = updateAt + static_cast<std::int64_t>(object + filter);
    const std::int64_t range[4] = {0, contentsStart_, contentsEnd_, fileEnd - contentsEnd_};
    std::string text = "[" + std::to_string(range[0]);
    for (int i = 1; i < 4; ++i) text += " " + std::to_string(range[i]);
    text += "]";
    const std::size_t placeholder = contents - byteRange - 10;
    if (text.size() > placeholder) Fail(QP_ERR_SAVE, "the byte range does not fit its place");
    text.resize(placeholder, ' ');
    update.replace(object + byteRange + 10, placeholder, text);
    // The signer reads the ranges from the dictionary, as MuPDF leaves them there.
    Mu(ctx_, [&] {
      pdf_obj* array = pdf_new_array(ctx_, doc_, 4);
      for (std::int64_t value : range) pdf_array_push_int(ctx_, array, value);
      pdf_dict_putl_drop(ctx_, field, array, PDF_NAME(V), PDF_NAME(ByteRange), nullptr);
    });
  }

  // Signs the byte range of the finished file and writes the signature into the /Contents string.
  void WriteDigest(const std::string& path) {
    pdf_obj* field = record_->field;
    pdf_pkcs7_signer* signer = record_->signer;
    const auto at = static_cast<std::size_t>(contentsStart_);
    const auto length = static_cast<std::size_t>(contentsEnd_ - contentsStart_);
    Mu(ctx_, [&] {
      pdf_obj* range = pdf_dict_getl(ctx_, field, PDF_NAME(V), PDF_NAME(ByteRange), nullptr);
      fz_output* out = fz_new_output_with_path(ctx_, path.c_str(), 1);
      fz_try(ctx_) {
        pdf_write_digest(ctx_, out, range, field, at, length, signer);
        fz_close_output(ctx_, out);
      }
      fz_always(ctx_) fz_drop_output(ctx_, out);
      fz_catch(ctx_) fz_rethrow(ctx_);
    });
  }

 private:
  fz_context* ctx_;
  pdf_document* doc_;
  pdf_unsaved_sig* record_ = nullptr;
  std::int64_t contentsStart_ = 0;
  std::int64_t contentsEnd_ = 0;
};

// MuPDF's incremental save, which refuses a rebuilt cross-reference: the objects it writes are sound, only its
// table is not, and that is replaced. A classic table is asked for, as it is the one read back here.
void WriteChangedObjects(fz_context* ctx, pdf_document* doc, const std::string& path) {
  pdf_write_options options = pdf_default_write_options;
  options.do_incremental = 1;
  Mu(ctx, [&] {
    const int repaired = doc->repair_attempted;
    const int xrefStreams = doc->has_xref_streams;
    doc->repair_attempted = 0;
    doc->has_xref_streams = 0;
    fz_try(ctx) pdf_save_document(ctx, doc, path.c_str(), &options);
    fz_always(ctx) {
      doc->repair_attempted = repaired;
      doc->has_xref_streams = xrefStreams;
    }
    fz_catch(ctx) fz_rethrow(ctx);
  });
}

// Every object of the document: those the update wrote where it wrote them, the others where the rebuilt
// cross-reference found them in the original bytes.
std::vector<XrefEntry> CompleteEntries(fz_context* ctx, pdf_document* doc, const std::map<int, XrefEntry>& written,
                                       std::int64_t originalLength) {
  int count = Mu(ctx, [&] { return pdf_xref_len(ctx, doc); });
  if (!written.empty()) count = std::max(count, written.rbegin()->first + 1);
  std::vector<XrefEntry> entries(static_cast<std::size_t>(count));
  for (int number = 1; number < count; ++number) {
    XrefEntry& entry = entries[number];
    if (const auto found = written.find(number); found != written.end()) {
      entry = found->second;
      if (entry.kind == XrefEntry::Kind::InFile && entry.offset < originalLength)
        Fail(QP_ERR_SAVE, "the update lists object " + std::to_string(number) + " inside the original bytes");
      continue;
    }
    const pdf_xref_entry* known = Mu(ctx, [&] { return pdf_get_xref_entry(ctx, doc, number); });
    if (known == nullptr) continue;
    if (known->type == 'n') {
      // An object the rebuild made up has no bytes in the file to point at.
      if (known->ofs <= 0 || known->ofs >= originalLength)
        Fail(QP_ERR_UNSUPPORTED, "object " + std::to_string(number) + " has no place in the file");
      entry = {XrefEntry::Kind::InFile, known->ofs, known->gen};
    } else if (known->type == 'o') {
      entry = {XrefEntry::Kind::InObjectStream, known->ofs, known->gen};
    } else {
      entry = {XrefEntry::Kind::Free, 0, known->type == 'f' ? known->gen : 0};
    }
  }
  for (std::size_t number = 0; number < entries.size(); ++number) {
    const XrefEntry& entry = entries[number];
    if (entry.kind != XrefEntry::Kind::InObjectStream) continue;
    if (entry.offset <= 0 || entry.offset >= count || entries[entry.offset].kind != XrefEntry::Kind::InFile)
      Fail(QP_ERR_UNSUPPORTED, "object " + std::to_string(number) + " lies in an object stream that is not in the file");
  }
  return entries;
}

// /Root, /Info, /ID and /Encrypt as the rebuilt document has them, as written in a trailer.
std::string TrailerKeys(fz_context* ctx, pdf_document* doc) {
  std::size_t length = 0;
  char* printed = Mu(ctx, [&] {
    pdf_obj* keys = pdf_new_dict(ctx, doc, 4);
    char* text = nullptr;
    fz_var(text);
    fz_try(ctx) {
      pdf_obj* trailer = pdf_trailer(ctx, doc);
      pdf_obj* const names[] = {PDF_NAME(Root), PDF_NAME(Info), PDF_NAME(ID), PDF_NAME(Encrypt)};
      for (pdf_obj* name : names)
        if (pdf_obj* value = pdf_dict_get(ctx, trailer, name)) pdf_dict_put(ctx, keys, name, value);
      if (pdf_dict_get(ctx, keys, PDF_NAME(Root)) != nullptr) text = pdf_sprint_obj(ctx, nullptr, 0, &length, keys, 1, 0);
    }
    fz_always(ctx) pdf_drop_obj(ctx, keys);
    fz_catch(ctx) fz_rethrow(ctx);
    return text;
  });
  if (printed == nullptr) Fail(QP_ERR_UNSUPPORTED, "the rebuilt document has no catalog");
  std::string text(printed, length);
  fz_free(ctx, printed);
  // Without the dictionary's brackets: the section adds /Size and its own keys.
  if (text.size() < 4 || text.compare(0, 2, "<<") != 0 || text.compare(text.size() - 2, 2, ">>") != 0)
    Fail(QP_ERR_SAVE, "the trailer could not be written");
  return text.substr(2, text.size() - 4);
}

bool ReadFrom(const std::string& path, std::int64_t at, std::string& out) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return false;
  const std::streamoff size = in.tellg();
  if (size < at || !in.seekg(at)) return false;
  out.resize(static_cast<std::size_t>(size - at));
  return out.empty() || static_cast<bool>(in.read(out.data(), static_cast<std::streamsize>(out.size())));
}

// Cuts the file back to `at` and writes `tail` after it.
bool ReplaceFrom(const std::string& path, std::int64_t at, const std::string& tail) {
  std::error_code error;
  std::filesystem::resize_file(path, static_cast<std::uintmax_t>(at), error);
  if (error) return false;
  std::ofstream out(path, std::ios::binary | std::ios::app);
  out.write(tail.data(), static_cast<std::streamsize>(tail.size()));
  out.close();
  return static_cast<bool>(out);
}

}  // namespace

void SaveRepairedUpdate(fz_context* ctx, pdf_document* doc, const std::string& copyPath) {
  const std::int64_t originalLength = doc->file_size;
  DetachedSignature signature(ctx, doc);
  MoveCorrectedStreamsIntoUpdate(ctx, doc);
  // The table read back below is the one of the last section written; changes spread over more sections (a
  // change made while a signature was pending starts another) would be listed at their old places.
  if (doc->num_incremental_sections != 1) Fail(QP_ERR_UNSUPPORTED, "the changes form more than one update");
  WriteChangedObjects(ctx, doc, copyPath);
  std::string update;
  if (!ReadFrom(copyPath, originalLength, update)) Fail(QP_ERR_SAVE, "the saved copy cannot be read");
  const auto xrefAt = LastStartxref(update);
  if (!xrefAt || *xrefAt <= originalLength || *xrefAt - originalLength >= static_cast<std::int64_t>(update.size()))
    Fail(QP_ERR_SAVE, "the update has no cross-reference of its own");
  const auto objectsEnd = static_cast<std::size_t>(*xrefAt - originalLength);
  const auto written = ReadXrefTable(update, objectsEnd);
  if (!written) Fail(QP_ERR_SAVE, "the update's cross-reference does not read");
  const std::vector<XrefEntry> entries = CompleteEntries(ctx, doc, *written, originalLength);
  const std::string keys = TrailerKeys(ctx, doc);
  update.resize(objectsEnd);
  update += NeedsXrefStream(entries) ? XrefStreamSection(entries, keys, *xrefAt) : XrefTableSection(entries, keys, *xrefAt);
  if (signature.Pending()) signature.PlaceByteRange(update, originalLength, entries);
  if (!ReplaceFrom(copyPath, originalLength, update)) Fail(QP_ERR_SAVE, "the update could not be written");
  if (signature.Pending()) signature.WriteDigest(copyPath);
  // The copy must read from its last cross-reference alone, or it is no better than the original.
  bool stillRepaired = false;
  pdf_document* check = OpenPdf(ctx, copyPath, -1, &stillRepaired);
  pdf_drop_document(ctx, check);
  if (stillRepaired) Fail(QP_ERR_SAVE, "the appended cross-reference does not read back");
}

}  // namespace sealrun::platform::pdfengine
