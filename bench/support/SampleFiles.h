#pragma once
// The files the benchmarks seal and verify: a one-page corpus file, a 200-page file made from corpus
// pages with qpdf, and fresh writable copies of either.
#include <filesystem>
#include <string_view>
#include <vector>

namespace sealrun::bench {

inline constexpr int kOnePageFiles = 500;
inline constexpr int kLongFiles = 20;
inline constexpr int kLongFilePages = 200;

// SEALRUN_CORPUS when set, else the corpus beside the repository.
std::filesystem::path CorpusDir();
// A plain one-page Latin text document (11 KiB).
std::filesystem::path OnePageSource();
// A 200-page A4 document in `folder`: the 185 pages of a Japanese manual and its first 15 again. Empty
// when the corpus file is missing or qpdf fails.
std::filesystem::path MakeLongSource(const std::filesystem::path& folder);

// `count` copies of `source` in `folder` named stem-N.pdf, writable (corpus files are read-only).
// Earlier copies of the same names are replaced. Empty when a copy fails.
std::vector<std::filesystem::path> FreshCopies(const std::filesystem::path& source, const std::filesystem::path& folder,
                                               int count);

}  // namespace sealrun::bench
