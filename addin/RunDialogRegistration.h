#pragma once
// Hands the pane the dialogs of its batch runs when the module loads.
#include <string_view>

namespace sealrun::addin {

// Registers the signing dialog for the pane's Sign mode: it opens with the module-wide state (files,
// templates, keyword and page presets, settings) and writes the failed rows, the summary and the keyword
// placement it ran with back.
void RegisterRunDialogs();

// Makes the active document's first annotation named `name` (pages and annotations in order) the
// current one, as the signing dialog does when its template choice changes.
void SelectTemplateAnnotation(std::u16string_view name);

}  // namespace sealrun::addin
