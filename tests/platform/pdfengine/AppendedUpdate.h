#pragma once
// Reading what a save wrote, with qpdf as the independent reader.
#include <filesystem>
#include <set>
#include <string>

namespace sealrun::platform::pdfengine::testing {

// Object numbers of the "N G obj" headers in an appended update.
std::set<int> ObjectsWrittenBy(const std::string& update);
// The highest object number qpdf lists in the file's cross-reference.
int HighestObjectNumber(const std::filesystem::path& pdf);
// The object number of a page, and whether `number` is that page's /Annots array.
int PageObjectNumber(const std::filesystem::path& pdf, int pageIndex);
bool IsAnnotsArrayOf(const std::filesystem::path& pdf, int pageIndex, int number);

}  // namespace sealrun::platform::pdfengine::testing
