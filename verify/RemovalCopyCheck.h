#pragma once
// The last step before a copy without the latest seal replaces the file: the copy opens on its own, is the
// file with exactly one update appended, no longer shows the removed seal on any page, and every other seal
// that was valid in the file is still there and valid. Verification allows the removal of a seal added after
// an earlier one, so a sound removal keeps every earlier seal valid; one that does not is a faulty write.
#include <cstdint>
#include <string_view>
#include <vector>

#include "config/SignatureMode.h"
#include "external/qp.h"

namespace sealrun::verify {

// The seal a removal takes out.
struct RemovedSeal {
  int seal = 0;        // the seal annotation's dictionary, or the signature field's value
  int page = -1;       // the page its annotation (or widget) stood on; -1 when on none
  int annotation = 0;  // that annotation's object number
};

// What the file was before the removal, taken from the file as read (never from changes made in memory).
struct RemovalBefore {
  config::SealForm form = config::SealForm::SealAnnotation;
  int revisions = -1;           // the file's revision count (-1: unknown)
  std::int64_t fileEnd = -1;    // where its newest revision ends
  RemovedSeal removed;
  std::vector<int> validSeals;  // the seals valid in the file, the removed one left out
};

// `path` is the file the document was opened from. The revisions come from `document`; the valid seals from
// the file opened anew, so the page identifiers verification adds in memory never reach the removal's update.
RemovalBefore DescribeBeforeRemoval(qp_engine engine, qp_document document, std::u16string_view path,
                                    config::SealForm form, const RemovedSeal& removed);

enum class CopyFault {
  None,
  Unreadable,      // the copy does not open on its own
  NotOneUpdate,    // not the file's bytes with exactly one update appended
  SealStillThere,  // the removed seal's annotation is still on a page (or its signature still in a field)
  EarlierSealLost, // a seal valid in the file is missing or no longer valid in the copy
};

CopyFault CheckRemovalCopy(qp_engine engine, std::u16string_view copyPath, const RemovalBefore& before);

}  // namespace sealrun::verify
