#include "signing/SealStamp.h"

#include <chrono>
#include <string>
#include <vector>

#include "external/QpHandles.h"
#include "platform/text/Utf.h"
#include "signing/SavedCopyCheck.h"
#include "signing/SignOnline.h"
#include "verify/Certification.h"
#include "verify/DocumentFingerprint.h"
#include "verify/PdfNames.h"

namespace sealrun::signing {

namespace {

using external::CosHandle;
using external::DocumentHandle;
using external::ImageHandle;
using external::LoadPage;
using external::MakeEngineString;
using external::PageHandle;
using external::SignatureHandle;
using external::StringHandle;

// An engine call that failed before the document was saved: the file is untouched and the run counts
// the file as failed with the engine's code.
StampResult EngineFailure(int code) { return {StampFailure::EngineFailed, code}; }

// The document opened from the path with its permissions checked and the seal placed.
struct PreparedDocument {
  DocumentHandle document;
  SealTemplate record;
  SealRect rect;
  int32_t pageRotation = 0;  // the target page's own /Rotate
};

StampResult OpenAndPlace(const StampInputs& inputs, std::u16string_view path, config::SealForm form,
                         PreparedDocument& prepared) {
  prepared.document = external::OpenDocument(inputs.engine, path);
  if (!prepared.document) return StampFailure::NotOpened;
  qp_document document = prepared.document.get();
  // Everything is written to a copy first; the copy replaces the file only once its new seal verifies.
  if (qp_document_set_staged(document, 1) != QP_OK) return StampFailure::EngineFailed;
  for (const Permission needed : {Permission::FillForms, Permission::Modify})
    if (!CheckPermission(document, needed)) return StampResult::Denied(needed);
  // A certified document keeps its certification only through the changes it allows.
  const verify::CertificationLevel certification = verify::DocumentCertification(document);
  if (!verify::CertificationAllows(certification, form)) return StampResult::Certified(certification);

  const int pageCount = qp_page_count(document);
  if (pageCount <= 0) return StampFailure::NoPages;
  const Placement placement = SelectPlacement(document, pageCount - 1, inputs.placement);
  if (!placement.Succeeded()) return StampResult::NotPlaced(placement.failure);
  const auto target = ReadTargetPage(document, placement.record.pageIndex);
  if (!target) return StampFailure::PageUnreadable;
  prepared.record = placement.record;
  prepared.rect = ComputeSealRect(*target, placement.record);
  prepared.pageRotation = target->rotation;
  return {};
}

SignatureInfo BuildRecord(const StampInputs& inputs, RecordForm form, std::u16string fingerprint) {
  SignatureInfoInput input;
  input.sealIndex = -1;
  input.signatureType = inputs.handwritten ? 5 : 1;
  input.fingerprint = std::move(fingerprint);
  input.form = form;
  input.seal = inputs.seal;
  input.keySerial = inputs.keySerial;
  input.ipAddress = inputs.ipAddress;
  input.createTime = std::chrono::system_clock::now();
  input.signatureMode = inputs.signatureMode;
  return BuildSignatureInfo(input);
}

std::string Utf16LeBytes(std::u16string_view text) {
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

// Geometry and blend mode shared by the seal annotation and the signature widget.
int PlaceAnnotation(qp_annot annot, const SealRect& rect) {
  int result = qp_annot_set_rect(annot, rect.llx, rect.lly, rect.urx, rect.ury);
  if (result == QP_OK) result = qp_annot_set_rotate(annot, rect.rotation);
  if (result == QP_OK) result = qp_annot_set_blendmode(annot, "Multiply");
  return result;
}

// A stream whose text the engine stores Flate-compressed.
CosHandle NewFlateStream(qp_document document, const std::string& bytes) {
  const CosHandle dict(qp_cos_new_dict(document, 1, 0));
  const CosHandle filter(qp_cos_new_name(document, "FlateDecode"));
  if (!dict || !filter || qp_cos_dict_puts(dict.get(), "Filter", filter.get()) != QP_OK) return nullptr;
  return CosHandle(qp_cos_new_stream(document, bytes.data(), bytes.size(), 1, dict.get(), 0, 1));
}

// /Subtype, /Info with the record and, when there is one, the signed message with its certificate.
int WriteSealDictionary(qp_document document, qp_annot annot, const std::string& encodedRecord,
                        const std::u16string& certificateText, const std::u16string& message) {
  const CosHandle annotDict(qp_annot_get_cosobject(annot));
  const CosHandle subtype(qp_cos_new_name(document, verify::kSealSubtype));
  const CosHandle info(qp_cos_new_dict(document, 3, 0));
  const CosHandle unicode(qp_cos_new_bool(document, 1));
  const CosHandle version(qp_cos_new_int(document, verify::kRecordVersion));
  const CosHandle baseInfoDict(qp_cos_new_dict(document, 1, 0));
  const CosHandle strLen(qp_cos_new_int(document, static_cast<int>(encodedRecord.size())));
  if (!annotDict || !subtype || !info || !unicode || !version || !baseInfoDict || !strLen) return QP_ERR_ENGINE;
  if (qp_cos_dict_puts(annotDict.get(), "Subtype", subtype.get()) != QP_OK ||
      qp_cos_dict_puts(info.get(), verify::kUnicodeKey, unicode.get()) != QP_OK ||
      qp_cos_dict_puts(info.get(), verify::kRecordVersionKey, version.get()) != QP_OK ||
      qp_cos_dict_puts(baseInfoDict.get(), verify::kRecordLengthKey, strLen.get()) != QP_OK)
    return QP_ERR_ENGINE;
  // The record's ANSI bytes with their terminating zero, stored as given.
  const CosHandle baseInfo(
      qp_cos_new_stream(document, encodedRecord.c_str(), encodedRecord.size() + 1, 1, baseInfoDict.get(), 0, 1));
  if (!baseInfo || qp_cos_dict_puts(info.get(), verify::kRecordStreamKey, baseInfo.get()) != QP_OK ||
      qp_cos_dict_puts(annotDict.get(), verify::kSealInfoKey, info.get()) != QP_OK)
    return QP_ERR_ENGINE;

  if (!message.empty()) {
    const CosHandle certContext = NewFlateStream(document, Utf16LeBytes(certificateText));
    const CosHandle signMessage = NewFlateStream(document, Utf16LeBytes(message));
    if (!certContext || !signMessage ||
        qp_cos_dict_puts(annotDict.get(), verify::kCertificateKey, certContext.get()) != QP_OK ||
        qp_cos_dict_puts(annotDict.get(), verify::kSignedMessageKey, signMessage.get()) != QP_OK)
      return QP_ERR_ENGINE;
  }
  qp_cos_set_modify(document, info.get(), 1);
  return qp_cos_set_modify(document, annotDict.get(), 1);
}

void Report(StampRecord* written, const SignatureInfo& info, int32_t pageIndex) {
  if (written == nullptr) return;
  written->text = info.text;
  written->pageIndex = pageIndex;
}

}  // namespace

StampResult StampSealAnnotation(const StampInputs& inputs, std::u16string_view path, std::u16string_view pin,
                                StampRecord* written) {
  const external::FileTimeBudget budget(inputs.engine);
  PreparedDocument prepared;
  if (StampResult placed = OpenAndPlace(inputs, path, config::SealForm::SealAnnotation, prepared); !placed)
    return placed;
  qp_document document = prepared.document.get();
  const int32_t pageIndex = prepared.record.pageIndex;

  // The page identifiers the fingerprint adds are saved with the seal, so verification reads them back. A
  // document whose fingerprint cannot be taken in full is not sealed: nothing has been written yet.
  verify::DocumentFingerprint fingerprinter(document);
  const auto fingerprint = fingerprinter.ComputeDocumentFingerprint();
  if (!fingerprint) return StampFailure::NoFingerprint;
  const SignatureInfo info = BuildRecord(inputs, RecordForm::SealOnly, *fingerprint);
  if (info.error != SignatureInfoError::None) return StampFailure::NoRecord;
  // Nothing is written before the picture has decoded: a seal nobody can see is no seal.
  const ImageHandle image = MakeImageHandle(inputs.image, document);
  if (!image) return StampFailure::NoImage;

  PageHandle page = LoadPage(document, pageIndex);
  if (!page) return StampFailure::EngineFailed;
  qp_annot annot = qp_page_create_annotation(page.get(), QP_ANNOT_IMAGE_STAMP);
  if (annot == nullptr) return StampFailure::EngineFailed;
  // No default appearance first: the picture has decoded, so the image appearance is always set, and an
  // empty default form would stay behind in the file unreferenced (in AES-encrypted files the engine's
  // writer even stores that empty stream damaged).
  int result = PlaceAnnotation(annot, prepared.rect);
  if (result == QP_OK) result = qp_annot_set_image_appearance_from_handle(annot, image.get());
  if (result == QP_OK) result = qp_annot_update(annot);
  if (result != QP_OK) return EngineFailure(result);

  std::u16string certificateText;
  std::u16string message;
  if (inputs.signSealMessage) {
    std::optional<std::u16string> signedMessage = inputs.signSealMessage(*fingerprint, pin, certificateText);
    // Nothing is saved yet: the file stays as it was.
    if (!signedMessage) return StampFailure::MessageNotSigned;
    message = std::move(*signedMessage);
  }
  result = WriteSealDictionary(document, annot, info.encoded, certificateText, message);
  if (result != QP_OK) return EngineFailure(result);

  const int sealObject = external::AnnotationObjectNumber(annot);
  page.reset();
  qp_document_update_page(document, pageIndex, 1);
  result = qp_document_save(document);
  if (result != QP_OK) return {StampFailure::NotSaved, result};
  if (StampResult checked = CheckAndCommitSavedCopy(inputs.engine, document, config::SealForm::SealAnnotation, sealObject);
      !checked)
    return checked;
  Report(written, info, pageIndex);
  return {};
}

StampResult StampSignatureField(const StampInputs& inputs, std::u16string_view path, std::u16string_view pin,
                                StampRecord* written) {
  const external::FileTimeBudget budget(inputs.engine);
  PreparedDocument prepared;
  if (StampResult placed = OpenAndPlace(inputs, path, config::SealForm::SignatureField, prepared); !placed)
    return placed;
  qp_document document = prepared.document.get();
  const int32_t pageIndex = prepared.record.pageIndex;

  const SignatureInfo info = BuildRecord(inputs, RecordForm::SignatureField, {});
  if (info.error != SignatureInfoError::None) return StampFailure::NoRecord;
  const ImageHandle image = MakeImageHandle(inputs.image, document);
  if (!image) return StampFailure::NoImage;

  const PageHandle page = LoadPage(document, pageIndex);
  if (!page) return StampFailure::EngineFailed;
  const int existing = qp_acroform_signature_count(document);
  if (existing < 0) return StampFailure::EngineFailed;
  qp_field field = qp_acroform_create_form_field(document, QP_FIELD_SIGNATURE);
  if (field == nullptr) return StampFailure::EngineFailed;
  // The name is formatted into 100 wide characters; it can never come near that.
  std::u16string fieldName = verify::kSignatureFieldPrefix + platform::text::Utf8ToUtf16(std::to_string(existing + 1));
  if (fieldName.size() > 99) fieldName.resize(99);
  const StringHandle name = MakeEngineString(fieldName);
  if (!name) return StampFailure::EngineFailed;
  int result = qp_field_set_name(field, name.get());
  if (result != QP_OK) return EngineFailure(result);
  const SignatureHandle signature(qp_field_create_signature(field));
  if (!signature) return StampFailure::EngineFailed;
  qp_annot widget = qp_page_add_form_field(page.get(), field);
  if (widget == nullptr) return StampFailure::EngineFailed;

  result = PlaceAnnotation(widget, prepared.rect);
  if (result == QP_OK) result = qp_annot_set_image_appearance_from_handle(widget, image.get());
  // /MK /R tells viewers how the widget stands on its page: the target page's rotation, which is the
  // template's only when both pages are turned alike.
  if (result == QP_OK) result = qp_annot_set_signature_field_appearance(widget, image.get(), prepared.pageRotation);
  if (result == QP_OK) result = qp_annot_update(widget);
  if (result == QP_OK)
    result = qp_field_set_private_data(field, verify::kFieldRecordKey, info.encoded.data(),
                                       static_cast<int>(info.encoded.size()));
  if (result != QP_OK) return EngineFailure(result);

  StampResult outcome;
  if (inputs.signOnline) {
    // The placeholder signature and the server's signature go to the staged copy only: a server that refuses,
    // fails or never answers, or a run killed meanwhile, leaves the file as it was.
    outcome = inputs.signOnline(signature.get());
  } else {
    const StringHandle signerName = MakeEngineString(inputs.signerName);
    if (!signerName) return StampFailure::EngineFailed;
    result = qp_signature_set_name(signature.get(), signerName.get());
    if (result != QP_OK) return EngineFailure(result);
    result = qp_signature_save(signature.get(), "", platform::text::Utf16ToUtf8(pin).c_str(), inputs.certificate.data(),
                               static_cast<int>(inputs.certificate.size()));
    if (result != QP_OK) outcome = {StampFailure::NotSigned, result};
  }
  qp_document_update_page(document, 0, 0);
  if (outcome) outcome = CheckAndCommitSavedCopy(inputs.engine, document, config::SealForm::SignatureField,
                                                 qp_signature_get_obj_num(signature.get()));
  if (outcome) Report(written, info, pageIndex);
  return outcome;
}

}  // namespace sealrun::signing
