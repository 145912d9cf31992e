#pragma once
// Sample PDF files for the demo, written by a small PDF 1.4 writer: Chinese text in the non-embedded
// Adobe-GB1 font STSong-Light (readers substitute a Song face), Latin text in Helvetica, plain content
// streams and a classic cross-reference table.
#include <string>
#include <vector>

namespace sealrun::apps {

// The text the keyword run centres the seal on; it stands near the bottom of each contract's last page.
inline constexpr char kDemoKeyword[] = "甲方（盖章）";

enum class Script { Chinese, Latin };

struct SampleText {
  double x = 0;  // baseline start in user space (points, origin bottom-left)
  double y = 0;
  double size = 12;
  Script script = Script::Chinese;
  std::string text;  // UTF-8; Chinese text must stay within the Basic Multilingual Plane
};

struct SamplePage {
  double width = 595;  // A4 portrait
  double height = 842;
  int rotate = 0;  // /Rotate of the page
  std::vector<SampleText> texts;
  struct Rule {
    double x0, y0, x1, y1;
  };
  std::vector<Rule> rules;  // thin lines, user space
};

// The operators that draw one text (BT ... ET) with the fonts of the sample pages: /F1 Chinese, /F2 Latin.
std::string TextOperators(const SampleText& text);

// The bytes of a complete PDF file with these pages; `title` goes into the document information.
std::string WriteSamplePdf(const std::vector<SamplePage>& pages, const std::string& title);

struct DemoSample {
  std::string fileName;
  std::string description;  // one line for the demo's listing
  std::string bytes;
};

// The contracts of the batch (one-page A4 contracts, one turned by 90 degrees, one A3 landscape, one of
// two pages), in batch order.
std::vector<DemoSample> MakeDemoContracts();
// The template the seal position is pre-stamped on: one A4 page.
DemoSample MakeDemoTemplate();

}  // namespace sealrun::apps
