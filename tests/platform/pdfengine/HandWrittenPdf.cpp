#include "tests/platform/pdfengine/HandWrittenPdf.h"

#include <cstdint>
#include <cstdio>
#include <map>

namespace sealrun::platform::pdfengine::testing {
namespace {

void PutBigEndian(std::string& out, std::uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

HandWrittenPdf::HandWrittenPdf(std::string pageEntries) {
  Add("<< /Type /Catalog /Pages 2 0 R >>");
  Add("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  if (pageEntries.find("/MediaBox") == std::string::npos) pageEntries += " /MediaBox [0 0 200 200]";
  Add("<< /Type /Page /Parent 2 0 R " + pageEntries + " >>");
}

int HandWrittenPdf::Add(std::string text) {
  objects_.push_back(Object{std::move(text), false});
  return static_cast<int>(objects_.size());
}

int HandWrittenPdf::AddCompressed(std::string text) {
  objects_.push_back(Object{std::move(text), true});
  return static_cast<int>(objects_.size());
}

std::string HandWrittenPdf::Bytes() const {
  std::string out = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
  std::map<int, std::uint64_t> offsets;
  std::map<int, int> inStream;  // number -> index in the object stream
  std::string header;
  std::string body;
  std::vector<Object> objects = objects_;
  const int lengthNumber = lengthInside_ ? static_cast<int>(objects.size()) + 1 : 0;
  if (lengthInside_) objects.push_back(Object{"0", true});
  for (std::size_t i = 0; i < objects.size(); ++i) {
    const int number = static_cast<int>(i) + 1;
    if (objects[i].compressed) {
      inStream[number] = static_cast<int>(inStream.size());
      header += std::to_string(number) + " " + std::to_string(body.size()) + " ";
      body += objects[i].text + "\n";
      continue;
    }
    offsets[number] = out.size();
    out += std::to_string(number) + " 0 obj\n" + objects[i].text + "\nendobj\n";
  }
  const int count = static_cast<int>(objects.size());
  if (inStream.empty()) {
    const std::size_t xref = out.size();
    out += "xref\n0 " + std::to_string(count + 1) + "\n0000000000 65535 f \n";
    for (int number = 1; number <= count; ++number) {
      char line[24];
      std::snprintf(line, sizeof line, "%010llu 00000 n \n", static_cast<unsigned long long>(offsets[number]));
      out += line;
    }
    out += "trailer\n<< /Size " + std::to_string(count + 1) + " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) +
           "\n%%EOF\n";
    return out;
  }
  // The object stream stored as it is (no filter), then a cross-reference stream for everything.
  const int streamNumber = count + 1;
  const int xrefNumber = count + 2;
  const std::string data = header + body;
  offsets[streamNumber] = out.size();
  out += std::to_string(streamNumber) + " 0 obj\n<< /Type /ObjStm /N " + std::to_string(inStream.size()) +
         " /First " + std::to_string(header.size()) + " /Length " +
         (lengthInside_ ? std::to_string(lengthNumber) + " 0 R" : std::to_string(data.size())) + " >>\nstream\n" +
         data + "\nendstream\nendobj\n";
  offsets[xrefNumber] = out.size();
  std::string entries;
  PutBigEndian(entries, 0, 1);
  PutBigEndian(entries, 0, 4);
  PutBigEndian(entries, 65535, 2);
  for (int number = 1; number <= xrefNumber; ++number) {
    if (const auto found = inStream.find(number); found != inStream.end()) {
      PutBigEndian(entries, 2, 1);
      PutBigEndian(entries, static_cast<std::uint64_t>(streamNumber), 4);
      PutBigEndian(entries, static_cast<std::uint64_t>(found->second), 2);
    } else {
      PutBigEndian(entries, 1, 1);
      PutBigEndian(entries, offsets[number], 4);
      PutBigEndian(entries, 0, 2);
    }
  }
  out += std::to_string(xrefNumber) + " 0 obj\n<< /Type /XRef /Size " + std::to_string(xrefNumber + 1) +
         " /W [1 4 2] /Root 1 0 R /Length " + std::to_string(entries.size()) + " >>\nstream\n" + entries +
         "\nendstream\nendobj\nstartxref\n" + std::to_string(offsets[xrefNumber]) + "\n%%EOF\n";
  return out;
}

}  // namespace sealrun::platform::pdfengine::testing
