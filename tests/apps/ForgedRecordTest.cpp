// A forged seal record and a hostile file name on their way to the terminal: escape sequences that would
// erase the "INVALID" line and print a "valid" one in its place, a bare line feed that would fake a line,
// a right-to-left override and a C1 control are all printed as visible escapes, in the text output of
// inspect and verify and in inspect's JSON.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "signing/SignatureInfo.h"
#include "tests/apps/FrontEndFixture.h"
#include "tests/testsupport/ToolRun.h"

namespace sealrun::apps {
namespace {

namespace fs = std::filesystem;
using sealrun::testing::ShellQuote;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Replaces the record stream of every seal annotation of `file` with `symbols`.
constexpr char kReplaceRecord[] = R"(
import pikepdf, sys
pdf = pikepdf.open(sys.argv[1], allow_overwriting_input=True)
symbols = open(sys.argv[2], 'rb').read()
count = 0
for page in pdf.pages:
    for annot in page.get('/Annots', []):
        if annot.get('/Subtype') == pikepdf.Name('/Brasmoor:AddSeal'):
            annot.Info.BaseInfo.write(symbols)
            count += 1
pdf.save(sys.argv[1])
print('replaced', count)
)";

void ExpectNothingRaw(const std::string& output) {
  EXPECT_FALSE(Contains(output, "\x1b")) << "no escape character reaches the terminal";
  EXPECT_FALSE(Contains(output, "\xe2\x80\xae")) << "no right-to-left override";
  EXPECT_FALSE(Contains(output, "\xc2\x85")) << "no C1 control";
}

class ForgedRecord : public FrontEnd {
 protected:
  void SetUp() override { fs::copy(SEALRUN_DEMO_KEY, temp_ / "key", fs::copy_options::recursive); }
};

TEST_F(ForgedRecord, EscapeCodesInARecordAndAFileNameArePrintedHarmlessly) {
  const fs::path file = temp_ / "in" / "deal\x1b[32m\xe2\x80\xae" "fdp.pdf";
  fs::create_directories(file.parent_path());
  fs::copy_file(sealrun::testing::CorpusFile("pypdf-crazyones.pdf"), file);
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
  ProgramRun run = Sealrun({"sign", "--keyword", "crazy", "--seal", "演示公章", "--pin", "123456", file.string()});
  ASSERT_EQ(run.exitCode, 0) << run.output;

  const std::u16string forged =
      u"KeyName=演示公章\r\n"
      u"UnitName=\x1b[1A\x1b[2K  seal-annotation page 1 object 9: valid\x1b[8m\r\n"
      u"UserName=ok\n  seal-annotation page 1 object 9: valid\r\n"
      u"SerialNumber=\u202egnp.exe\u0085\r\n";
  sealrun::testing::WriteFileBytes(temp_ / "symbols", signing::EncodeSignatureInfo(forged, signing::RecordForm::SealOnly));
  const auto replaced = sealrun::testing::RunTool("/usr/bin/python3 -c " + ShellQuote(kReplaceRecord) + " " +
                                                  ShellQuote(file.string()) + " " + ShellQuote((temp_ / "symbols").string()));
  ASSERT_EQ(replaced.exitCode, 0) << replaced.output;
  ASSERT_TRUE(Contains(replaced.output, "replaced 1")) << replaced.output;

  run = Sealrun({"inspect", file.string()});
  EXPECT_EQ(run.exitCode, 1) << "the forged record does not hold the document's fingerprint\n" << run.output;
  ExpectNothingRaw(run.output);
  EXPECT_TRUE(Contains(run.output, "deal\\x1b[32m\\u202efdp.pdf: 1 seal(s)")) << run.output;
  EXPECT_TRUE(Contains(run.output, ": INVALID")) << run.output;
  EXPECT_TRUE(Contains(run.output, "    UnitName=\\x1b[1A\\x1b[2K  seal-annotation page 1 object 9: valid\\x1b[8m\n"))
      << run.output;
  EXPECT_TRUE(Contains(run.output, "    UserName=ok\\x0a  seal-annotation page 1 object 9: valid\n")) << run.output;
  EXPECT_TRUE(Contains(run.output, "    SerialNumber=\\u202egnp.exe\\u0085\n")) << run.output;
  EXPECT_FALSE(Contains(run.output, "\n  seal-annotation page 1 object 9: valid")) << "no line is faked";

  run = Sealrun({"inspect", "--json", file.string()});
  ExpectNothingRaw(run.output);
  EXPECT_TRUE(Contains(run.output, "deal\\u001b[32m\\u202efdp.pdf")) << run.output;
  EXPECT_TRUE(Contains(run.output, "\"UnitName=\\u001b[1A\\u001b[2K  seal-annotation")) << run.output;
  EXPECT_TRUE(Contains(run.output, "\"SerialNumber=\\u202egnp.exe\\u0085\"")) << run.output;

  run = Sealrun({"verify", file.string()});
  EXPECT_EQ(run.exitCode, 1) << run.output;
  ExpectNothingRaw(run.output);
  EXPECT_TRUE(Contains(run.output, "deal\\x1b[32m\\u202efdp.pdf\t印章总数:1 有效:0 失效:1")) << run.output;
}

TEST_F(ForgedRecord, RefusalsNamingAFileEscapeItToo) {
  const ProgramRun run = Sealrun({"inspect", (temp_ / "gone\x1b[2J\r.pdf").string()});
  EXPECT_EQ(run.exitCode, 2);
  ExpectNothingRaw(run.output);
  EXPECT_FALSE(Contains(run.output, "\r")) << run.output;
  EXPECT_TRUE(Contains(run.output, "gone\\x1b[2J\\x0d.pdf")) << run.output;
}

}  // namespace
}  // namespace sealrun::apps
