#include "tests/platform/pdfengine/AppendedUpdate.h"

#include <regex>

#include "tests/platform/pdfengine/EngineFixture.h"

namespace sealrun::platform::pdfengine::testing {

std::set<int> ObjectsWrittenBy(const std::string& update) {
  std::set<int> numbers;
  static const std::regex header(R"((?:^|[\r\n])(\d+) (\d+) obj\b)");
  for (auto it = std::sregex_iterator(update.begin(), update.end(), header); it != std::sregex_iterator(); ++it)
    numbers.insert(std::stoi((*it)[1]));
  return numbers;
}

int HighestObjectNumber(const std::filesystem::path& pdf) {
  const ToolResult run = RunTool("qpdf --show-xref " + Quote(pdf));
  int highest = 0;
  static const std::regex entry(R"((\d+)/\d+:)");
  for (auto it = std::sregex_iterator(run.output.begin(), run.output.end(), entry); it != std::sregex_iterator(); ++it)
    highest = std::max(highest, std::stoi((*it)[1]));
  return highest;
}

int PageObjectNumber(const std::filesystem::path& pdf, int pageIndex) {
  const ToolResult run = RunTool("qpdf --show-pages " + Quote(pdf));
  static const std::regex page(R"(page (\d+): (\d+) \d+ R)");
  for (auto it = std::sregex_iterator(run.output.begin(), run.output.end(), page); it != std::sregex_iterator(); ++it)
    if (std::stoi((*it)[1]) == pageIndex + 1) return std::stoi((*it)[2]);
  return -1;
}

bool IsAnnotsArrayOf(const std::filesystem::path& pdf, int pageIndex, int number) {
  const int pageNumber = PageObjectNumber(pdf, pageIndex);
  const ToolResult run = RunTool("qpdf --show-object=" + std::to_string(pageNumber) + " " + Quote(pdf));
  const std::regex annots("/Annots " + std::to_string(number) + " 0 R");
  return std::regex_search(run.output, annots);
}

}  // namespace sealrun::platform::pdfengine::testing
