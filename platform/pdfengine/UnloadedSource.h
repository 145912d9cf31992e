#pragma once
// Dictionaries the engine has not read yet, answered from their source in the file. Walking every page of a
// long document (its page tree, its annotations, its fingerprint) asks each page dictionary for a few entries;
// the engine would parse each whole into objects first, at several times the cost of the source parse. An
// object the engine has loaded, or one whose source cannot stand for it, is left to the engine.
#include <memory>
#include <string_view>

#include "platform/pdfengine/Internal.h"
#include "platform/pdfengine/ObjectSources.h"
#include "platform/pdfengine/SourceTree.h"

namespace sealrun::platform::pdfengine {

// The sources of the document's objects, made on first use and again once a save gave it another engine
// document.
ObjectSources& SourcesOf(qp_document document);

// True when object `number` of `doc`, unencrypted, lies in the file (at an offset or in an object stream) and
// the engine has not loaded it: nothing in memory differs from the file.
bool EngineHasNotLoaded(fz_context* ctx, pdf_document* doc, int number);

// The source of the dictionary `reference` points to, when that dictionary is an object of the sources'
// document that the engine has not loaded, ends with "endobj", and its source stands alone; null otherwise
// (a direct object, a stream, a reference to a reference, anything else).
std::shared_ptr<const SourceTree> UnloadedDictionary(fz_context* ctx, ObjectSources& sources, pdf_obj* reference);

// The node of the value of the root dictionary's entry `key`, or -1 when there is no such entry. A value
// written as null is the engine's missing entry: -1 as well.
int RootEntry(const SourceTree& tree, std::string_view key);

}  // namespace sealrun::platform::pdfengine
