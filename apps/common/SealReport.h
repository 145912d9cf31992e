#pragma once
// Every seal of a file with its verdict, revision, reasons and record, read as `inspect` reads it, and the
// lines that describe it to the user (the terminal's inspect and the desktop reader's seal list show the same).
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "external/qp.h"
#include "verify/DocumentVerification.h"

namespace sealrun::apps {

struct FileSeals {
  bool opened = false;
  bool complete = true;  // false when a page could not be read (its seals are not listed)
  std::vector<verify::SealVerdict> seals;
};

// Seal annotations first, then signature fields, each in page order. The file is opened read-only under the
// engine's per-file budget.
FileSeals ExamineFile(qp_engine engine, const std::filesystem::path& file);

const char* FormName(verify::SealForm form);
// "unreadable record", "no record", or null.
const char* RecordNote(const verify::SealVerdict& seal);
// "added in revision N" or "revision unknown".
std::string RevisionText(const verify::SealVerdict& seal);
// "revision 2, page 1, object 30: content changed, not allowed"
std::string ChangeLine(const verify::LaterChange& change);
// The record's lines, empty ones left out.
std::vector<std::string> RecordLines(std::u16string_view record);
// "seal-annotation page 1 object 30: valid, added in revision 1"
std::string SealHeadline(const verify::SealVerdict& seal);
// The lines under the headline: the reasons ("why: ..."/"note: ..."), later changes and the record.
std::vector<std::string> SealDetails(const verify::SealVerdict& seal);

}  // namespace sealrun::apps
