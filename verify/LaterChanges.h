#pragma once
// What the revisions after a seal changed, and whether each change is allowed. The document as it stood in
// the seal's revision is compared with the document as saved now, so a change made and undone again is
// none. Only the objects the later revisions wrote are read, with what they reach that is new; what an
// earlier object was for (a page's content, a resource, an annotation, a form field) is looked up in the
// earlier document only for objects that no simpler sign tells.
#include <optional>
#include <set>
#include <vector>

#include "verify/RevisionHistory.h"
#include "verify/SealFindings.h"

namespace sealrun::verify {

// The objects that are the seal itself: a seal annotation's dictionary; a signature field's dictionary,
// its widgets and its signature value. A change to any of them changes the seal.
using SealObjects = std::set<int>;

// The changes made after `revision`, each with its kind, the newest revision that made it, the page (as
// the page stood in `revision`; -1 when not on one page), the object and whether it is allowed; ordered by
// revision, page and object. nullopt when the comparison cannot be made: the revision does not read as a
// document of its own, or the engine cannot list what the later revisions wrote.
std::optional<std::vector<LaterChange>> FindLaterChanges(RevisionHistory& history, int revision,
                                                         const SealObjects& seal);

}  // namespace sealrun::verify
