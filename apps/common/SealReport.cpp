#include "apps/common/SealReport.h"

#include <iterator>

#include "external/QpHandles.h"
#include "platform/fs/Paths.h"
#include "platform/text/Utf.h"

namespace sealrun::apps {

FileSeals ExamineFile(qp_engine engine, const std::filesystem::path& file) {
  FileSeals result;
  const external::FileTimeBudget budget(engine);
  const external::DocumentHandle document =
      external::OpenDocument(engine, platform::fs::PathToUtf16(std::filesystem::absolute(file)));
  if (!document) return result;
  result.opened = true;
  verify::DocumentExamination annotations = verify::ExamineSealAnnotations(document.get());
  auto fields = verify::ExamineSignatureFields(document.get()).seals;
  result.complete = annotations.complete;
  result.seals = std::move(annotations.seals);
  result.seals.insert(result.seals.end(), std::make_move_iterator(fields.begin()), std::make_move_iterator(fields.end()));
  return result;
}

std::vector<std::string> RecordLines(std::u16string_view record) {
  std::vector<std::string> lines;
  while (!record.empty()) {
    const size_t end = record.find(u"\r\n");
    if (const auto line = record.substr(0, end); !line.empty()) lines.push_back(platform::text::Utf16ToUtf8(line));
    record = end == std::u16string_view::npos ? std::u16string_view() : record.substr(end + 2);
  }
  return lines;
}

const char* FormName(verify::SealForm form) {
  return form == verify::SealForm::SignatureField ? "signature-field" : "seal-annotation";
}

const char* RecordNote(const verify::SealVerdict& seal) {
  if (seal.recordState == verify::RecordState::Unreadable) return "unreadable record";
  if (seal.record.empty()) return "no record";
  return nullptr;
}

std::string RevisionText(const verify::SealVerdict& seal) {
  return seal.revision < 0 ? "revision unknown" : "added in revision " + std::to_string(seal.revision);
}

std::string ChangeLine(const verify::LaterChange& change) {
  std::string line = "revision " + std::to_string(change.revision);
  if (change.pageIndex >= 0) line += ", page " + std::to_string(change.pageIndex + 1);
  if (change.objectNumber > 0) line += ", object " + std::to_string(change.objectNumber);
  line += ": " + std::string(verify::ChangeKindText(change.kind)) + (change.allowed ? ", allowed" : ", not allowed");
  return line;
}

std::string SealHeadline(const verify::SealVerdict& seal) {
  const char* note = RecordNote(seal);
  return std::string(FormName(seal.form)) + " page " + std::to_string(seal.pageIndex + 1) + " object " +
         std::to_string(seal.objectNumber) + ": " + (seal.valid ? "valid" : "INVALID") + (note ? ", " : "") +
         (note ? note : "") + ", " + RevisionText(seal);
}

std::vector<std::string> SealDetails(const verify::SealVerdict& seal) {
  std::vector<std::string> lines;
  for (const auto finding : seal.findings)
    lines.push_back(std::string(verify::IsNote(finding) ? "note" : "why") + ": " +
                    std::string(verify::FindingText(finding)));
  for (const auto& change : seal.changes) lines.push_back("later change: " + ChangeLine(change));
  for (auto& line : RecordLines(seal.record)) lines.push_back(std::move(line));
  return lines;
}

}  // namespace sealrun::apps
