#pragma once
// The document fingerprint as the earlier release computed it, which its seals in the field store. Beyond the
// rules it followed references below the top level (page trees, annotations, fields and signature values
// excepted) and read resources a page inherits, and it read values as the engine keeps them: a dictionary's
// keys in the engine's order, reals as 32-bit values, a string's form guessed from its bytes, null entries
// left out. New seals store the exact fingerprint (DocumentFingerprint); this one lets verification recognise
// a seal made by that release.
#include <optional>
#include <string>

#include "external/qp.h"

namespace sealrun::verify {

// The 28 FingerprintAlphabet symbols. Pages without an identifier get one, as for the exact fingerprint.
// nullopt when a page or the stored data of a stream cannot be read, or memory runs out.
std::optional<std::u16string> LegacyDocumentFingerprint(qp_document document);

}  // namespace sealrun::verify
