#pragma once
// Cross-reference sections as bytes: reading the classic table an incremental save appended, and writing a
// complete section that lists every object of a file, as a classic table or, when objects sit inside object
// streams, as a cross-reference stream.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sealrun::platform::pdfengine {

struct XrefEntry {
  enum class Kind { Free, InFile, InObjectStream };
  Kind kind = Kind::Free;
  std::int64_t offset = 0;  // InFile: where "N G obj" starts; InObjectStream: the object stream's number
  int generation = 0;       // InObjectStream: the object's index inside the stream
};

// The offset the last "startxref" of the bytes names; nullopt when there is none.
std::optional<std::int64_t> LastStartxref(const std::string& bytes);

// The entries of the classic table starting at `at` ("xref", subsections, up to "trailer"), by object
// number; nullopt when the bytes there do not read as one.
std::optional<std::map<int, XrefEntry>> ReadXrefTable(const std::string& bytes, std::size_t at);

// Whether the entries need a cross-reference stream: a classic table has no form for objects inside object
// streams, nor for offsets of more than ten digits.
bool NeedsXrefStream(const std::vector<XrefEntry>& entries);

// A complete section to be written at offset `at`, ending with startxref and %%EOF. The entries are those of
// objects 0 to entries.size() - 1; `trailerKeys` are the trailer's other keys as written, such as
// "/Root 1 0 R/Info 2 0 R". The table form is "xref", the entries, "trailer"; the stream form is a
// cross-reference stream numbered entries.size(), listing itself too.
std::string XrefTableSection(const std::vector<XrefEntry>& entries, const std::string& trailerKeys, std::int64_t at);
std::string XrefStreamSection(const std::vector<XrefEntry>& entries, const std::string& trailerKeys, std::int64_t at);

}  // namespace sealrun::platform::pdfengine
