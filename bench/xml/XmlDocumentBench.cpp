// Parsing speed of XmlDocument on a generated 10 MB configuration-like document, from text and from a file,
// and on broken documents that must still parse in time linear in their length: many start tags that no end
// tag closes, and many end tags that close nothing while many elements are open.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/text/Utf.h"
#include "support/XmlDocument.h"

namespace {

using sealrun::support::XmlDocument;

constexpr std::size_t kDocumentBytes = 10 * 1024 * 1024;

// Sections of keys with attributes, comments, CDATA and some Chinese text, about 10 MB in UTF-8.
const std::string& DocumentUtf8() {
  static const std::string document = [] {
    std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Brasmoor>\r\n";
    for (std::size_t section = 0; text.size() < kDocumentBytes; ++section) {
      text += "\t<Section" + std::to_string(section) + " kind=\"pen\">\r\n\t\t<!-- settings of the pen -->\r\n";
      for (int key = 0; key < 16; ++key) {
        text += "\t\t<HandFontName index=\"" + std::to_string(key) + "\">\xE5\xAE\x8B\xE4\xBD\x93 Batang</HandFontName>\r\n";
        text += "\t\t<UsuallyList><![CDATA[A___B___C]]></UsuallyList><Empty/>\r\n";
      }
      text += "\t</Section" + std::to_string(section) + ">\r\n";
    }
    text += "</Brasmoor>\r\n";
    return text;
  }();
  return document;
}

void SetDocumentText(benchmark::State& state) {
  const std::u16string text = sealrun::platform::text::Utf8ToUtf16(DocumentUtf8());
  XmlDocument document;
  for (auto _ : state) {
    const bool wellFormed = document.SetDocumentText(text);
    benchmark::DoNotOptimize(wellFormed);
    if (!wellFormed) state.SkipWithError("document did not parse");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * DocumentUtf8().size()));
  state.counters["elements"] = static_cast<double>(document.ElementCount());
}
BENCHMARK(SetDocumentText)->Unit(benchmark::kMillisecond);

void LoadFile(benchmark::State& state) {
  const auto path = std::filesystem::temp_directory_path() / "sealrun-bench-xml.xml";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(DocumentUtf8().data(), static_cast<std::streamsize>(DocumentUtf8().size()));
  }
  XmlDocument document;
  for (auto _ : state) {
    const bool loaded = document.LoadFile(path);
    benchmark::DoNotOptimize(loaded);
    if (!loaded) state.SkipWithError("file did not load");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * DocumentUtf8().size()));
  std::filesystem::remove(path);
}
BENCHMARK(LoadFile)->Unit(benchmark::kMillisecond);

void ParseBroken(benchmark::State& state, const std::u16string& text) {
  XmlDocument document;
  for (auto _ : state) {
    const bool wellFormed = document.SetDocumentText(text);
    benchmark::DoNotOptimize(wellFormed);
    if (wellFormed) state.SkipWithError("a broken document parsed as well-formed");
  }
  state.counters["elements"] = static_cast<double>(document.ElementCount());
}

// <e><e>...<e>: every element ends unended, nested one in the next.
void UnclosedElements(benchmark::State& state) {
  std::u16string text;
  for (std::int64_t i = 0; i < state.range(0); ++i) text += u"<e>";
  ParseBroken(state, text);
}
BENCHMARK(UnclosedElements)->Arg(10000)->Arg(40000)->Arg(100000)->Unit(benchmark::kMillisecond);

// <e>...<e></x>...</x></e>...</e>: each stray end tag is looked for among every open element.
void StrayEndTags(benchmark::State& state) {
  std::u16string text;
  for (std::int64_t i = 0; i < state.range(0); ++i) text += u"<e>";
  for (std::int64_t i = 0; i < state.range(0); ++i) text += u"</x>";
  for (std::int64_t i = 0; i < state.range(0); ++i) text += u"</e>";
  ParseBroken(state, text);
}
BENCHMARK(StrayEndTags)->Arg(10000)->Arg(40000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
