#pragma once
// PDF files written byte for byte as a test says, so that the forms the engine's parser forgets (key order,
// hex or literal strings, the digits of reals) are known. Objects 1 to 3 are the catalogue, the page tree and
// one page; the test's objects follow from 4 on.
#include <string>
#include <vector>

namespace sealrun::platform::pdfengine::testing {

class HandWrittenPdf {
 public:
  // The page dictionary's entries after /Type /Page /Parent 2 0 R (a MediaBox is added unless given).
  explicit HandWrittenPdf(std::string pageEntries = "");

  // Adds an object (the text between "N 0 obj" and "endobj") and returns its number.
  int Add(std::string text);
  // Adds an object stored inside the file's object stream (none of its strings or streams).
  int AddCompressed(std::string text);

  // The object stream's /Length becomes a reference to an object stored inside that same stream: reading any
  // object of the stream needs the stream read first, a loop the engine must break.
  void PutObjectStreamLengthInsideIt() { lengthInside_ = true; }

  // The file: a classic cross-reference table, or a cross-reference stream when an object stream is used.
  std::string Bytes() const;

 private:
  struct Object {
    std::string text;
    bool compressed = false;
  };
  std::vector<Object> objects_;
  bool lengthInside_ = false;
};

}  // namespace sealrun::platform::pdfengine::testing
