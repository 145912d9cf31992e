#include "verify/SealDiscovery.h"

#include <cstring>
#include <vector>

#include "external/QpHandles.h"
#include "verify/SignatureInfoCodec.h"

namespace sealrun::verify {

namespace {

using external::CosHandle;

std::u16string UpToFirstZero(std::u16string text) {
  if (const std::size_t zero = text.find(u'\0'); zero != std::u16string::npos) text.resize(zero);
  return text;
}

}  // namespace

bool IsSealAnnotation(qp_annot annotation) {
  const char* subtype = qp_annot_get_subtype(annotation);
  return subtype != nullptr && std::strcmp(subtype, kSealSubtype) == 0;
}

SealRecordText SealAnnotationReader(qp_annot annotation) {
  const CosHandle dict(qp_annot_get_cosobject(annotation));
  return SealRecordReader(dict.get());
}

SealRecordText SealRecordReader(qp_cos dict) {
  SealRecordText record;
  if (dict == nullptr) return record;
  const CosHandle info(qp_cos_dict_gets(dict, kSealInfoKey));
  if (!info || !qp_cos_is_dict(info.get())) return record;
  const CosHandle baseInfo(qp_cos_dict_gets(info.get(), kRecordStreamKey));
  if (!baseInfo || !qp_cos_is_stream(baseInfo.get())) return record;
  // Decoded no further than a record can be long: a record stream may be a flate bomb. Records are well under
  // a kilobyte: a small buffer first, the whole bound only for data that goes on.
  std::vector<char> data;
  std::size_t length = 0;
  int read = QP_ERR_BUFFER;
  for (const std::size_t bound : {std::size_t{4 * 1024}, kMaxRecordBytes}) {
    data.resize(bound + 1);
    read = qp_cos_stream_to_buffer_bounded(baseInfo.get(), data.data(), bound, &length);
    if (read != QP_ERR_BUFFER) break;
  }
  if (read != QP_OK && read != QP_ERR_BUFFER) {
    record.state = RecordState::Unreadable;  // a stream is there, but its data cannot be decoded
    return record;
  }
  if (length == 0) return record;
  record.state = RecordState::Unreadable;
  if (read == QP_ERR_BUFFER) return record;  // longer than any record
  const CosHandle version(qp_cos_dict_gets(info.get(), kRecordVersionKey));
  if (!version || !qp_cos_is_int(version.get()) || qp_cos_to_int(version.get()) != kRecordVersion) return record;
  data[length] = '\0';
  // The symbols end at the first NUL; the decoded text at its first zero unit.
  const std::string_view symbols(data.data(), std::strlen(data.data()));
  record.text = UpToFirstZero(DecodeSignatureInfo(symbols, RecordForm::SealOnly));
  record.state = RecordState::Readable;
  return record;
}

std::u16string SignatureFieldReader(qp_field field) {
  int length = 0;
  if (qp_field_get_private_data(field, kFieldRecordKey, nullptr, &length) != QP_OK || length <= 0 ||
      static_cast<std::size_t>(length) > kMaxRecordBytes)
    return {};
  std::vector<char> data(static_cast<std::size_t>(length) + 1, '\0');
  int read = length;
  if (qp_field_get_private_data(field, kFieldRecordKey, data.data(), &read) != QP_OK || read > length) return {};
  const std::string_view symbols(data.data(), std::strlen(data.data()));
  return UpToFirstZero(DecodeSignatureInfo(symbols, RecordForm::SignatureField));
}

bool ForEachSealAnnotation(qp_document document, const SealAnnotationVisitor& visit) {
  const int pages = qp_page_count(document);
  if (pages < 0) return false;
  bool complete = true;
  for (int pageIndex = 0; pageIndex < pages; ++pageIndex) {
    const external::PageHandle page = external::LoadPage(document, pageIndex);
    if (!page) {
      complete = false;
      continue;
    }
    for (qp_annot annotation = qp_page_load_annots(page.get()); annotation != nullptr;
         annotation = qp_annot_next(annotation)) {
      if (IsSealAnnotation(annotation)) visit(pageIndex, annotation);
    }
  }
  return complete;
}

void ForEachSignedField(qp_document document, const SignedFieldVisitor& visit) {
  for (qp_field field = qp_load_acroform_field(document); field != nullptr; field = qp_field_next(field)) {
    const external::SignatureHandle signature(qp_field_get_signature(field));
    if (signature) visit(field, signature.get());
  }
}

std::optional<LatestSealAnnotation> FindLatestSealAnnotation(qp_document document) {
  LatestSealAnnotation best;
  ForEachSealAnnotation(document, [&best](int pageIndex, qp_annot annotation) {
    const int number = AnnotationObjectNumber(annotation);
    if (number > best.objectNumber) best = {pageIndex, number};
  });
  if (best.objectNumber == 0) return std::nullopt;
  return best;
}

int LatestSignatureObjectNumber(qp_document document) {
  int best = 0;
  ForEachSignedField(document, [&best](qp_field, qp_signature signature) {
    const int number = qp_signature_get_obj_num(signature);
    if (number > best) best = number;
  });
  return best;
}

}  // namespace sealrun::verify
