// The revisions of an incrementally updated file: how many, where each ends, which one added or last
// defined an object, which objects each one defines, and each one opened as a document of its own.
#include <algorithm>
#include <cstring>
#include <set>

#include "platform/pdfengine/Internal.h"
#include "platform/pdfengine/ObjectSources.h"
#include "platform/pdfengine/PageIndex.h"
#include "platform/pdfengine/RevisionMap.h"

using namespace sealrun::platform::pdfengine;

namespace {

// The entry a file section holds for an object: its type (0 when the section does not name it) and, for
// an object kept in an object stream, the stream's number.
struct SectionEntry {
  char type = 0;
  std::int64_t container = 0;
};

SectionEntry EntryIn(const pdf_xref& section, int number) {
  if (number >= section.num_objects) return {};
  for (const pdf_xref_subsec* sub = section.subsec; sub != nullptr; sub = sub->next) {
    if (number < sub->start || number >= sub->start + sub->len) continue;
    const pdf_xref_entry& entry = sub->table[number - sub->start];
    if (entry.type == 0) continue;
    const char type = entry.type == 'O' ? 'o' : entry.type;  // 'O' marks a stream being read just now
    return {type, type == 'o' ? entry.ofs : 0};
  }
  return {};
}

const RevisionMap& KnownRevisions(qp_document document) {
  if (document == nullptr) Fail(QP_ERR_ARGUMENT, "no document");
  const RevisionMap& map = RevisionsOf(document);
  if (!map.known) Fail(QP_ERR_NOT_FOUND, "the file's revisions are unknown");
  return map;
}

const pdf_xref& FileSection(pdf_document* doc, int k) { return doc->xref_sections[FirstFileSection(doc) + k]; }

int AddedRevision(const RevisionMap& map, pdf_document* doc, int number) {
  int added = -1;
  for (int k = 0; k < FileSectionCount(doc); ++k) {
    const SectionEntry entry = EntryIn(FileSection(doc, k), number);
    if (entry.type == 0) continue;
    if (entry.type == 'f') break;
    added = map.revisionOfSection[static_cast<std::size_t>(k)];
  }
  return added;
}

int DefinedRevision(const RevisionMap& map, pdf_document* doc, int number, int depth) {
  for (int k = 0; k < FileSectionCount(doc); ++k) {
    const SectionEntry entry = EntryIn(FileSection(doc, k), number);
    if (entry.type == 0) continue;
    const int revision = map.revisionOfSection[static_cast<std::size_t>(k)];
    // An object read from an object stream changes whenever the stream is written anew.
    if (entry.type == 'o' && depth == 0 && entry.container > 0 && entry.container < INT32_MAX)
      return std::max(revision, DefinedRevision(map, doc, static_cast<int>(entry.container), 1));
    return revision;
  }
  return -1;
}

// The objects the sections of `revision` name, and the objects that, as the file stood before it, were
// kept in an object stream those sections write anew.
std::vector<int> RevisionObjects(const RevisionMap& map, pdf_document* doc, int revision) {
  std::set<int> named;
  std::set<int> rewritten;  // numbers written in use: maybe object streams of earlier revisions
  const int sections = FileSectionCount(doc);
  int oldestOfRevision = -1;
  for (int k = 0; k < sections; ++k) {
    if (map.revisionOfSection[static_cast<std::size_t>(k)] != revision) continue;
    oldestOfRevision = k;
    for (const pdf_xref_subsec* sub = FileSection(doc, k).subsec; sub != nullptr; sub = sub->next) {
      for (int i = 0; i < sub->len; ++i) {
        const int number = sub->start + i;
        const char type = sub->table[i].type;
        if (number <= 0 || type == 0) continue;
        named.insert(number);
        if (type == 'n') rewritten.insert(number);
      }
    }
  }
  if (oldestOfRevision >= 0 && !rewritten.empty()) {
    // The entry each number had before this revision: the first one met going back from it.
    std::set<int> seen;
    for (int k = oldestOfRevision + 1; k < sections; ++k) {
      for (const pdf_xref_subsec* sub = FileSection(doc, k).subsec; sub != nullptr; sub = sub->next) {
        for (int i = 0; i < sub->len; ++i) {
          const int number = sub->start + i;
          const pdf_xref_entry& entry = sub->table[i];
          if (number <= 0 || entry.type == 0 || !seen.insert(number).second) continue;
          const bool inStream = entry.type == 'o' || entry.type == 'O';
          if (inStream && entry.ofs < INT32_MAX && rewritten.count(static_cast<int>(entry.ofs)) != 0)
            named.insert(number);
        }
      }
    }
  }
  return {named.begin(), named.end()};
}

int CopyNumbers(const std::vector<int>& numbers, int* into, int* count) {
  if (count == nullptr) Fail(QP_ERR_ARGUMENT, "no count");
  const int needed = static_cast<int>(numbers.size());
  const bool fits = into != nullptr && *count >= needed;
  if (fits) std::copy(numbers.begin(), numbers.end(), into);
  const bool asked = into != nullptr;
  *count = needed;
  return !asked || fits ? QP_OK : static_cast<int>(QP_ERR_BUFFER);
}

}  // namespace

extern "C" int qp_document_revision_count(qp_document document) {
  return Guard<int>(__func__, -1, [&] {
    if (document == nullptr) Fail(QP_ERR_ARGUMENT, "no document");
    return RevisionsOf(document).Count();
  });
}

extern "C" int qp_document_revision_end(qp_document document, int revision, int64_t* end) {
  return GuardCode(__func__, [&] {
    if (end == nullptr) Fail(QP_ERR_ARGUMENT, "no end slot");
    const RevisionMap& map = KnownRevisions(document);
    if (revision < 0 || revision >= map.Count()) Fail(QP_ERR_ARGUMENT, "no such revision");
    *end = map.ends[static_cast<std::size_t>(revision)];
    return QP_OK;
  });
}

extern "C" int qp_document_revision_ending_at(qp_document document, int64_t offset) {
  return Guard<int>(__func__, -1, [&] {
    if (document == nullptr) Fail(QP_ERR_ARGUMENT, "no document");
    const RevisionMap& map = RevisionsOf(document);
    for (int revision = 0; revision < map.Count(); ++revision) {
      const auto r = static_cast<std::size_t>(revision);
      if (offset >= map.eofEnds[r] && offset <= map.ends[r]) return revision;
    }
    return -1;
  });
}

extern "C" int qp_document_object_revision(qp_document document, int objectNumber, int which) {
  return Guard<int>(__func__, -1, [&] {
    if (document == nullptr || objectNumber <= 0) Fail(QP_ERR_ARGUMENT, "no object");
    if (which != QP_REVISION_ADDED && which != QP_REVISION_DEFINED) Fail(QP_ERR_ARGUMENT, "unknown question");
    const RevisionMap& map = RevisionsOf(document);
    if (!map.known) return -1;
    return which == QP_REVISION_ADDED ? AddedRevision(map, document->doc, objectNumber)
                                      : DefinedRevision(map, document->doc, objectNumber, 0);
  });
}

extern "C" int qp_document_revision_objects(qp_document document, int revision, int* numbers, int* count) {
  return GuardCode(__func__, [&] {
    const RevisionMap& map = KnownRevisions(document);
    if (revision < 0 || revision >= map.Count()) Fail(QP_ERR_ARGUMENT, "no such revision");
    return CopyNumbers(RevisionObjects(map, document->doc, revision), numbers, count);
  });
}

extern "C" int qp_document_open_revision(qp_document document, int revision, qp_document* revisionDocument) {
  return GuardCode(__func__, [&] {
    if (revisionDocument == nullptr) Fail(QP_ERR_ARGUMENT, "no document slot");
    *revisionDocument = nullptr;
    const RevisionMap& map = KnownRevisions(document);
    if (revision < 0 || revision >= map.Count()) Fail(QP_ERR_ARGUMENT, "no such revision");
    auto opened = std::make_unique<qp_document_s>();
    opened->engine = document->engine;
    opened->ctx = document->ctx;
    opened->readPath = document->readPath;
    opened->readLength = map.ends[static_cast<std::size_t>(revision)];
    try {
      opened->doc = OpenPdf(opened->ctx, opened->readPath, opened->readLength, &opened->repaired);
    } catch (const EngineError& error) {
      Fail(error.Code() == QP_ERR_ENGINE ? QP_ERR_OPEN : error.Code(), error.what());
    }
    // A revision that reads only after repair is not the revision the file says it is.
    if (opened->repaired) Fail(QP_ERR_OPEN, "the revision does not read as a document of its own");
    ++document->engine->openDocuments;
    *revisionDocument = opened.release();
    return QP_OK;
  });
}

extern "C" int qp_document_has_unsaved_changes(qp_document document) {
  return Guard<int>(__func__, -1, [&] {
    if (document == nullptr) Fail(QP_ERR_ARGUMENT, "no document");
    fz_context* ctx = document->ctx;
    return Mu(ctx, [&] { return pdf_has_unsaved_changes(ctx, document->doc); }) != 0 ? 1 : 0;
  });
}
