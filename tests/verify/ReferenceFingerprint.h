#pragma once
// The fingerprint of PDF files as tests/verify/fingerprint_reference.py computes it from their bytes, and the
// comparison of our page lines with its: the first line that differs is named.
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace sealrun::verify::testing {

struct ReferenceFingerprint {
  std::string error;               // why the reference could not read the file; empty when it could
  std::vector<std::string> lines;  // "identifier$digest" per page (UTF-8)
  std::string fingerprint;
};

// One run of the reference over all the files.
std::map<std::filesystem::path, ReferenceFingerprint> RunReference(const std::vector<std::filesystem::path>& files);

// Empty when our lines (the computation's PageLines) are the reference's, else the first difference.
std::string FirstDifference(const std::u16string& ourLines, const ReferenceFingerprint& reference);

}  // namespace sealrun::verify::testing
