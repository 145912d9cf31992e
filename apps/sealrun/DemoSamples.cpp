// The demo's sample files. The writer emits exactly what the samples need: one Type0 font for Chinese
// (STSong-Light, UniGB-UCS2-H, not embedded), Helvetica for Latin lines, one uncompressed content
// stream per page, document information, and a cross-reference table whose offsets are counted while
// the objects are written.
#include "apps/sealrun/DemoSamples.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/text/Utf.h"

namespace sealrun::apps {

namespace {

// Object numbers of the shared objects; pages follow from kFirstPageObject, two objects each.
constexpr int kCatalog = 1;
constexpr int kPages = 2;
constexpr int kChineseFont = 3;
constexpr int kChineseCidFont = 4;
constexpr int kChineseDescriptor = 5;
constexpr int kLatinFont = 6;
constexpr int kInfo = 7;
constexpr int kFirstPageObject = 8;

std::string Number(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.2f", value);
  std::string text = buffer;
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text == "-0" ? "0" : text;
}

// UTF-16BE in hex: what UniGB-UCS2-H maps to Adobe-GB1 glyphs, and what a text string with a byte-order
// mark holds.
std::string Utf16Hex(const std::string& utf8) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (const char16_t unit : platform::text::Utf8ToUtf16(utf8)) {
    hex += kDigits[(unit >> 12) & 0xF];
    hex += kDigits[(unit >> 8) & 0xF];
    hex += kDigits[(unit >> 4) & 0xF];
    hex += kDigits[unit & 0xF];
  }
  return hex;
}

// A literal string for Helvetica (WinAnsi): ASCII kept, delimiters escaped, anything else as "?".
std::string LatinLiteral(const std::string& text) {
  std::string literal = "(";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '(' || c == ')' || c == '\\') literal += '\\';
    literal += byte >= 0x20 && byte < 0x7F ? c : '?';
  }
  return literal + ")";
}

std::string PageContent(const SamplePage& page) {
  std::string content;
  if (!page.rules.empty()) {
    content += "q 0.5 w 0.3 G\n";
    for (const auto& rule : page.rules)
      content += Number(rule.x0) + " " + Number(rule.y0) + " m " + Number(rule.x1) + " " + Number(rule.y1) + " l S\n";
    content += "Q\n";
  }
  content += "0 g\n";
  for (const auto& text : page.texts) content += TextOperators(text) + "\n";
  return content;
}

// A stable file identifier from the file's own bytes (FNV-1a, two seeds for 16 bytes).
std::string FileIdentifier(const std::string& bytes) {
  std::string hex;
  for (const uint64_t seed : {uint64_t{0xcbf29ce484222325}, uint64_t{0x84222325cbf29ce4}}) {
    uint64_t hash = seed;
    for (const char c : bytes) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3;
    char buffer[17];
    std::snprintf(buffer, sizeof buffer, "%016llx", static_cast<unsigned long long>(hash));
    hex += buffer;
  }
  return hex;
}

class PdfWriter {
 public:
  explicit PdfWriter(int objectCount) : offsets_(objectCount + 1, 0) {
    // The comment of high bytes marks the file as binary for transfer programs.
    out_ = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
  }

  void Object(int number, const std::string& body) {
    offsets_[number] = out_.size();
    out_ += std::to_string(number) + " 0 obj\n" + body + "\nendobj\n";
  }

  void Stream(int number, const std::string& data) {
    Object(number, "<< /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream");
  }

  std::string Finish(int root, int info) {
    const std::string identifier = FileIdentifier(out_);
    const size_t xref = out_.size();
    out_ += "xref\n0 " + std::to_string(offsets_.size()) + "\n0000000000 65535 f\r\n";
    char entry[24];
    for (size_t i = 1; i < offsets_.size(); ++i) {
      std::snprintf(entry, sizeof entry, "%010zu 00000 n\r\n", offsets_[i]);
      out_ += entry;
    }
    out_ += "trailer\n<< /Size " + std::to_string(offsets_.size()) + " /Root " + std::to_string(root) + " 0 R /Info " +
            std::to_string(info) + " 0 R /ID [<" + identifier + "> <" + identifier + ">] >>\nstartxref\n" +
            std::to_string(xref) + "\n%%EOF\n";
    return std::move(out_);
  }

 private:
  std::string out_;
  std::vector<size_t> offsets_;
};

std::string Ref(int number) { return std::to_string(number) + " 0 R"; }

double ChineseWidth(const std::string& utf8, double size) {
  // The font's widths: 1000 for ideographs, 500 for the proportional Latin range (/W below).
  double units = 0;
  for (const char16_t unit : platform::text::Utf8ToUtf16(utf8)) units += unit < 0x80 ? 500 : 1000;
  return units * size / 1000;
}

SampleText Chinese(double x, double y, double size, std::string text) { return {x, y, size, Script::Chinese, std::move(text)}; }
SampleText Latin(double x, double y, double size, std::string text) { return {x, y, size, Script::Latin, std::move(text)}; }

struct Contract {
  std::string number;  // SR-2026-0001
  std::string buyer;
  std::string seller;
  std::string goods;
  std::string amount;
};

// The head of a contract: title, number, parties and the first clauses, from the top of the page.
double AddContractHead(SamplePage& page, const Contract& contract, int pageCount) {
  const double top = page.height - 90;
  const std::string title = "购销合同";
  page.texts.push_back(Chinese((page.width - ChineseWidth(title, 22)) / 2, top, 22, title));
  const std::string number = "Sales Contract No. " + contract.number;
  // Helvetica averages about half the size per character: close enough to centre one line.
  page.texts.push_back(Latin((page.width - number.size() * 5.2) / 2, top - 22, 10, number));
  page.rules.push_back({72, top - 35, page.width - 72, top - 35});
  page.texts.push_back(Chinese(72, top - 70, 12, "甲方（买方）：" + contract.buyer));
  page.texts.push_back(Chinese(72, top - 92, 12, "乙方（卖方）：" + contract.seller));
  page.texts.push_back(Chinese(72, top - 126, 12, "经双方协商一致，订立本合同，共同遵守。"));
  page.texts.push_back(Chinese(72, top - 150, 12, "一、甲方向乙方购买" + contract.goods + "，"));
  page.texts.push_back(Chinese(96, top - 170, 12, "合同总金额为人民币" + contract.amount + "元（含税）。"));
  if (pageCount > 1) page.texts.push_back(Chinese(72, top - 194, 12, "（下转第2页）"));
  return top - 194;
}

void AddContractClauses(SamplePage& page, double y) {
  page.texts.push_back(Chinese(72, y, 12, "二、乙方应于合同签订后十五日内交货，交货地点为甲方仓库。"));
  page.texts.push_back(Chinese(72, y - 24, 12, "三、甲方验收合格后三十日内一次付清全部货款。"));
  page.texts.push_back(Chinese(72, y - 48, 12, "四、本合同一式两份，双方各执一份，自双方盖章之日起生效。"));
}

// The signature block near the bottom of the page: the keyword line for each party, and the dates.
void AddSignatureBlock(SamplePage& page, int pageNumber, int pageCount) {
  const double middle = page.width / 2;
  page.rules.push_back({72, 215, page.width - 72, 215});
  page.texts.push_back(Chinese(90, 170, 12, std::string(kDemoKeyword) + "："));
  page.texts.push_back(Chinese(middle + 40, 170, 12, "乙方（盖章）："));
  page.texts.push_back(Chinese(90, 130, 12, "日期：2026年12月8日"));
  page.texts.push_back(Chinese(middle + 40, 130, 12, "日期：2026年12月8日"));
  page.texts.push_back(
      Latin(middle - 25, 40, 9, "Page " + std::to_string(pageNumber) + " of " + std::to_string(pageCount)));
}

SamplePage OnePageContract(const Contract& contract, double width, double height, int rotate) {
  SamplePage page;
  page.width = width;
  page.height = height;
  page.rotate = rotate;
  AddContractClauses(page, AddContractHead(page, contract, 1) - 24);
  AddSignatureBlock(page, 1, 1);
  return page;
}

DemoSample Sample(std::string fileName, std::string description, const std::vector<SamplePage>& pages,
                  const std::string& title) {
  return {std::move(fileName), std::move(description), WriteSamplePdf(pages, title)};
}

}  // namespace

std::string TextOperators(const SampleText& text) {
  const bool chinese = text.script == Script::Chinese;
  return "BT /" + std::string(chinese ? "F1 " : "F2 ") + Number(text.size) + " Tf " + Number(text.x) + " " +
         Number(text.y) + " Td " + (chinese ? "<" + Utf16Hex(text.text) + ">" : LatinLiteral(text.text)) + " Tj ET";
}

std::string WriteSamplePdf(const std::vector<SamplePage>& pages, const std::string& title) {
  const int pageCount = static_cast<int>(pages.size());
  PdfWriter writer(kFirstPageObject - 1 + 2 * pageCount);
  std::string kids;
  for (int i = 0; i < pageCount; ++i) kids += (i ? " " : "") + Ref(kFirstPageObject + 2 * i);
  writer.Object(kCatalog, "<< /Type /Catalog /Pages " + Ref(kPages) + " >>");
  writer.Object(kPages, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pageCount) + " >>");
  writer.Object(kChineseFont, "<< /Type /Font /Subtype /Type0 /BaseFont /STSong-Light /Encoding /UniGB-UCS2-H "
                              "/DescendantFonts [" + Ref(kChineseCidFont) + "] >>");
  writer.Object(kChineseCidFont,
                "<< /Type /Font /Subtype /CIDFontType0 /BaseFont /STSong-Light "
                "/CIDSystemInfo << /Registry (Adobe) /Ordering (GB1) /Supplement 2 >> /FontDescriptor " +
                    Ref(kChineseDescriptor) + " /DW 1000 /W [1 95 500] >>");
  writer.Object(kChineseDescriptor,
                "<< /Type /FontDescriptor /FontName /STSong-Light /Flags 6 /FontBBox [-25 -254 1000 880] "
                "/ItalicAngle 0 /Ascent 880 /Descent -120 /CapHeight 880 /StemV 93 >>");
  writer.Object(kLatinFont, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
  writer.Object(kInfo, "<< /Title <FEFF" + Utf16Hex(title) + "> /Producer (Sealrun demo) >>");
  const std::string resources =
      "/Resources << /Font << /F1 " + Ref(kChineseFont) + " /F2 " + Ref(kLatinFont) + " >> /ProcSet [/PDF /Text] >>";
  for (int i = 0; i < pageCount; ++i) {
    const SamplePage& page = pages[i];
    const int number = kFirstPageObject + 2 * i;
    std::string dictionary = "<< /Type /Page /Parent " + Ref(kPages) + " /MediaBox [0 0 " + Number(page.width) + " " +
                             Number(page.height) + "] " + resources + " /Contents " + Ref(number + 1);
    if (page.rotate != 0) dictionary += " /Rotate " + std::to_string(page.rotate);
    writer.Object(number, dictionary + " >>");
    writer.Stream(number + 1, PageContent(page));
  }
  return writer.Finish(kCatalog, kInfo);
}

std::vector<DemoSample> MakeDemoContracts() {
  const Contract contracts[] = {
      {"SR-2026-0001", "华东明远贸易有限公司", "江南精工机械有限公司", "数控车床三台", "壹佰贰拾万"},
      {"SR-2026-0002", "北方远航物流有限公司", "海川电子科技有限公司", "车载终端五百套", "捌拾陆万伍仟"},
      {"SR-2026-0003", "西部丰源农业有限公司", "东方绿野种业有限公司", "水稻良种二十吨", "叁拾贰万"},
      {"SR-2026-0004", "南山文化传媒有限公司", "星河印务有限公司", "画册印制一万册", "拾捌万"},
      {"SR-2026-0005", "中原建设工程有限公司", "长城钢材销售有限公司", "螺纹钢材四百吨", "壹佰伍拾陆万"},
      {"SR-2026-0006", "滨海港务集团有限公司", "蓝海船舶配件有限公司", "船用锚链十二套", "玖拾万"},
  };
  std::vector<DemoSample> samples;
  for (int i = 0; i < 3; ++i)
    samples.push_back(Sample("contract-" + std::to_string(i + 1) + ".pdf", "one A4 page",
                             {OnePageContract(contracts[i], 595, 842, 0)}, "购销合同 " + contracts[i].number));
  samples.push_back(Sample("contract-rotated.pdf", "one A4 page turned by 90 degrees (/Rotate 90)",
                           {OnePageContract(contracts[3], 595, 842, 90)}, "购销合同 " + contracts[3].number));
  samples.push_back(Sample("contract-a3-landscape.pdf", "one A3 landscape page (1191 x 842 points)",
                           {OnePageContract(contracts[4], 1191, 842, 0)}, "购销合同 " + contracts[4].number));
  SamplePage first;
  AddContractHead(first, contracts[5], 2);
  first.texts.push_back(Latin(first.width / 2 - 25, 40, 9, "Page 1 of 2"));
  SamplePage second;
  AddContractClauses(second, second.height - 90);
  second.texts.push_back(Chinese(72, second.height - 162, 12, "五、因本合同发生的争议，双方协商解决；协商不成的，"));
  second.texts.push_back(Chinese(96, second.height - 182, 12, "提交甲方所在地人民法院诉讼解决。"));
  AddSignatureBlock(second, 2, 2);
  samples.push_back(Sample("contract-two-pages.pdf", "two A4 pages, the signature lines on the second",
                           {first, second}, "购销合同 " + contracts[5].number));
  return samples;
}

DemoSample MakeDemoTemplate() {
  SamplePage page;
  const double top = page.height - 90;
  const std::string title = "印章位置模板";
  page.texts.push_back(Chinese((page.width - ChineseWidth(title, 22)) / 2, top, 22, title));
  page.texts.push_back(Latin((page.width - 26 * 5.2) / 2, top - 22, 10, "Seal position template (A4)"));
  page.rules.push_back({72, top - 35, page.width - 72, top - 35});
  page.texts.push_back(Chinese(72, top - 70, 12, "在本页预盖印章，批量签章时印章按预盖位置盖在每份文件上，"));
  page.texts.push_back(Chinese(72, top - 92, 12, "并保持与最近页角的距离。"));
  page.texts.push_back(Chinese(380, 170, 12, "盖章处"));
  page.rules.push_back({380, 160, 523, 160});
  return Sample("template.pdf", "one A4 page to pre-stamp the seal position on", {page}, title);
}

}  // namespace sealrun::apps
