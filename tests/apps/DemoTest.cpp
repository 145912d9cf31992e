// sealrun demo end to end: one run into a temporary folder, then what a user relies on: every step's
// summary, the changed file (and only it) invalid in the second verification, sample files that PDF tools
// accept, files that only ever grow by appended updates, and the user's own settings left alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "platform/text/CodePage.h"
#include "platform/text/Utf.h"
#include "tests/apps/ProgramRun.h"
#include "tests/testsupport/TempDir.h"

namespace sealrun::apps {
namespace {

namespace fs = std::filesystem;
using testing::ProgramRun;

const std::vector<std::string> kContracts = {"contract-1.pdf",       "contract-2.pdf",
                                             "contract-3.pdf",       "contract-rotated.pdf",
                                             "contract-a3-landscape.pdf", "contract-two-pages.pdf"};
constexpr char kChanged[] = "contract-2.pdf";

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
  return count;
}

// The text from the line that starts with `start` up to the next step heading.
std::string Section(const std::string& output, const std::string& start) {
  const size_t from = output.find(start);
  if (from == std::string::npos) return {};
  const size_t to = output.find("\n== Step", from);
  return output.substr(from, to == std::string::npos ? std::string::npos : to - from);
}

// The first revision's cross-reference table: each entry in use must point at "N 0 obj".
std::string FirstRevisionXrefProblem(const std::string& bytes) {
  const size_t startxref = bytes.find("startxref");
  if (startxref == std::string::npos) return "no startxref";
  const size_t offset = std::stoul(bytes.substr(startxref + 9, 20));
  if (bytes.compare(offset, 4, "xref") != 0) return "startxref does not point at xref";
  size_t at = bytes.find('\n', offset) + 1;
  const size_t count = std::stoul(bytes.substr(bytes.find(' ', at) + 1, 10));
  at = bytes.find('\n', at) + 1;
  for (size_t number = 0; number < count; ++number, at += 20) {
    const std::string entry = bytes.substr(at, 20);
    if (entry.size() != 20 || entry.substr(18) != "\r\n") return "entry " + std::to_string(number) + " is not 20 bytes";
    if (entry[17] != 'n') continue;
    const std::string object = std::to_string(number) + " 0 obj";
    if (bytes.compare(std::stoul(entry.substr(0, 10)), object.size(), object) != 0)
      return "object " + std::to_string(number) + " is not at its offset";
  }
  return {};
}

class Demo : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    temp_ = std::make_unique<sealrun::testing::TempDir>();
    fs::create_directories(User() / "config" / "Signavox_ConfigFile");
    sealrun::testing::WriteFileBytes(User() / "config" / "Signavox_ConfigFile" / "OrtavexConfig.dll", "user's own");
    sealrun::testing::ScopedEnv config("XDG_CONFIG_HOME", (User() / "config").string());
    sealrun::testing::ScopedEnv registry("SEALRUN_REGISTRY", (User() / "registry").string());
    sealrun::testing::ScopedEnv key("SEALRUN_KEY", (User() / "key").string());
    sealrun::testing::ScopedEnv host("SEALRUN_HOST_SETTINGS", (User() / "host.conf").string());
    sealrun::testing::ScopedEnv module("SEALRUN_ADDIN_MODULE", std::nullopt);
    run_ = std::make_unique<ProgramRun>(testing::RunProgram(SEALRUN_PROGRAM, {"demo", "--folder", Folder().string()}));
  }
  static void TearDownTestSuite() {
    run_.reset();
    temp_.reset();
  }

  static fs::path User() { return temp_->Path() / "user"; }
  static fs::path Folder() { return temp_->Path() / "demo"; }
  static const ProgramRun& Run() { return *run_; }

  static std::unique_ptr<sealrun::testing::TempDir> temp_;
  static std::unique_ptr<ProgramRun> run_;
};

std::unique_ptr<sealrun::testing::TempDir> Demo::temp_;
std::unique_ptr<ProgramRun> Demo::run_;

TEST_F(Demo, EveryStepRunsAndPrintsItsSummary) {
  ASSERT_EQ(Run().exitCode, 0) << Run().output;
  const std::string& output = Run().output;
  for (int step = 1; step <= 7; ++step)
    EXPECT_NE(output.find("== Step " + std::to_string(step) + " of 7"), std::string::npos) << "step " << step;
  EXPECT_NE(output.find("pre-stamp \"预盖位置1\" placed on page 1"), std::string::npos) << output;
  const std::string byTemplate = Section(output, "$ sealrun sign --template");
  const std::string byKeyword = Section(output, "$ sealrun sign --keyword 甲方（盖章）");
  for (const auto* run : {&byTemplate, &byKeyword}) {
    EXPECT_NE(run->find("共有文档：6\n签章成功：6\n签章失败：0"), std::string::npos) << *run;
    EXPECT_TRUE(std::regex_search(*run, std::regex("签章耗时：[0-9]+\\.[0-9]{2}秒"))) << *run;
  }
  const std::string removal = Section(output, "== Step 6");
  EXPECT_EQ(Count(removal, "批量撤章结束\n共有文档：6份\n撤章失败：0份\n撤章成功：6份"), 2u) << removal;
  for (const auto& file : kContracts) EXPECT_NE(removal.find(file + ": 0 seal(s)"), std::string::npos) << file;
  EXPECT_NE(output.find("every step gave what was expected"), std::string::npos);
  EXPECT_EQ(Count(output, "-> NOT as expected"), 0u);
}

TEST_F(Demo, OnlyTheChangedFileIsInvalidInTheSecondVerification) {
  const std::string first = Section(Run().output, "$ sealrun verify --export verify-log-1.txt");
  const std::string second = Section(Run().output, "$ sealrun verify --export verify-log-2.txt");
  ASSERT_FALSE(second.empty()) << Run().output;
  for (const auto& file : kContracts) {
    EXPECT_NE(first.find(file + "\t印章总数:2 有效:2 失效:0"), std::string::npos) << file << "\n" << first;
    const std::string wanted = file == kChanged ? "\t印章总数:2 有效:0 失效:2" : "\t印章总数:2 有效:2 失效:0";
    EXPECT_NE(second.find(file + wanted), std::string::npos) << file << "\n" << second;
  }
  EXPECT_NE(second.find("无效印章文档：1份\n有效印章文档：5份"), std::string::npos) << second;

  // The reason follows: both seals of the changed file name the update that changed page 1's content.
  const std::string why = Section(Run().output, std::string("$ sealrun inspect ") + kChanged);
  ASSERT_FALSE(why.empty()) << Run().output;
  EXPECT_EQ(Count(why, "INVALID"), 2u) << why;
  EXPECT_EQ(Count(why, "why: changed after sealing"), 2u) << why;
  EXPECT_TRUE(std::regex_search(why, std::regex("later change: revision 3, page 1, object [0-9]+: content changed, "
                                                "not allowed")))
      << why;
  EXPECT_NE(why.find("later change: revision 2, page 1, object"), std::string::npos)
      << "the second seal is named as an allowed change of the first\n" << why;
  EXPECT_NE(why.find("-> as expected: inspect says why"), std::string::npos) << why;

  // The exported log, in the ANSI code page, says the same.
  const std::string log = platform::text::Utf16ToUtf8(platform::text::ToUtf16(
      sealrun::testing::ReadFileBytes(Folder() / "verify-log-2.txt"), platform::text::kCpGbk));
  for (const auto& file : kContracts) {
    const std::string path = (Folder() / file).string();
    const std::string wanted = file == kChanged ? " 印章总数:2 有效:0 失效:2;\r\n" : " 印章总数:2 有效:2 失效:0;\r\n";
    EXPECT_NE(log.find(file + " " + path + wanted), std::string::npos) << file << "\n" << log;
  }
}

TEST_F(Demo, SealedCopiesHoldBothSealsWhereThePlacementPutsThem) {
  std::vector<std::string> arguments{"inspect"};
  for (const auto& file : kContracts) arguments.push_back((Folder() / "sealed" / file).string());
  const ProgramRun inspected = testing::RunProgram(SEALRUN_PROGRAM, arguments);
  EXPECT_EQ(inspected.exitCode, 0) << inspected.output;
  for (const auto& file : kContracts) {
    const size_t at = inspected.output.find(file + ": 2 seal(s)");
    ASSERT_NE(at, std::string::npos) << file << "\n" << inspected.output;
    const std::string seals = inspected.output.substr(at, inspected.output.find(".pdf: ", at + file.size()) - at);
    EXPECT_EQ(Count(seals, ": valid"), 2u) << seals;
    // The template's pre-stamp is on page 1; the keyword stands on the last page.
    EXPECT_NE(seals.find("page 1 "), std::string::npos) << seals;
    if (file == "contract-two-pages.pdf") {
      EXPECT_NE(seals.find("page 2 "), std::string::npos) << seals;
    }
  }
}

TEST_F(Demo, SamplesAreWellFormedAndOnlyGrowByAppendedUpdates) {
  const bool haveQpdf = sealrun::testing::RunTool("command -v qpdf").exitCode == 0;
  std::vector<std::string> files = kContracts;
  files.push_back("template.pdf");
  for (const auto& file : files) {
    const std::string bytes = sealrun::testing::ReadFileBytes(Folder() / file);
    ASSERT_TRUE(bytes.starts_with("%PDF-1.4\n")) << file;
    EXPECT_EQ(FirstRevisionXrefProblem(bytes), "") << file;
    if (haveQpdf) {
      const ProgramRun check = testing::RunProgram("qpdf", {"--check", (Folder() / file).string()});
      EXPECT_EQ(check.exitCode, 0) << file << "\n" << check.output;
    }
    if (file == "template.pdf") continue;
    // The state after the first verification is the start of the file as it is now.
    const std::string sealed = sealrun::testing::ReadFileBytes(Folder() / "sealed" / file);
    EXPECT_GT(bytes.size(), sealed.size()) << file;
    EXPECT_EQ(bytes.compare(0, sealed.size(), sealed), 0) << file << " was rewritten, not appended to";
  }
}

TEST_F(Demo, TheUsersOwnSettingsAreNeverTouched) {
  ASSERT_EQ(Run().exitCode, 0) << Run().output;
  std::vector<std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(User()))
    entries.push_back(fs::relative(entry.path(), User()).string());
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{"config", "config/Signavox_ConfigFile",
                                                "config/Signavox_ConfigFile/OrtavexConfig.dll"}));
  EXPECT_EQ(sealrun::testing::ReadFileBytes(User() / "config/Signavox_ConfigFile/OrtavexConfig.dll"), "user's own");
  // The demo's own environment stands inside its folder.
  EXPECT_TRUE(fs::exists(Folder() / ".sealrun" / "registry"));
  EXPECT_TRUE(fs::exists(Folder() / ".sealrun" / "key" / "key.xml"));
}

// Whoever can read the key's files can test PINs offline: the demo's copy is its owner's alone.
TEST_F(Demo, TheCopiedKeyIsReadableByItsOwnerAlone) {
  ASSERT_EQ(Run().exitCode, 0) << Run().output;
  const fs::path key = Folder() / ".sealrun" / "key";
  EXPECT_EQ(fs::status(key).permissions(), fs::perms::owner_all);
  int files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(key)) {
    const fs::perms expected = entry.is_directory() ? fs::perms::owner_all : fs::perms::owner_read | fs::perms::owner_write;
    EXPECT_EQ(entry.status().permissions(), expected) << entry.path();
    files += entry.is_regular_file() ? 1 : 0;
  }
  EXPECT_GE(files, 4);
}

TEST(DemoMisuse, RefusalsLeaveTheFolderAsItWas) {
  sealrun::testing::TempDir temp;
  sealrun::testing::WriteFileBytes(temp / "notes.txt", "keep me");
  ProgramRun run = testing::RunProgram(SEALRUN_PROGRAM, {"demo", "--folder", temp.Path().string()});
  EXPECT_EQ(run.exitCode, 2) << run.output;
  EXPECT_NE(run.output.find("not empty"), std::string::npos) << run.output;
  EXPECT_EQ(std::distance(fs::directory_iterator(temp.Path()), fs::directory_iterator()), 1);
  EXPECT_EQ(sealrun::testing::ReadFileBytes(temp / "notes.txt"), "keep me");

  run = testing::RunProgram(SEALRUN_PROGRAM, {"demo", "--folder", (temp / "notes.txt").string()});
  EXPECT_EQ(run.exitCode, 2) << run.output;
  run = testing::RunProgram(SEALRUN_PROGRAM, {"demo", "--folder"});
  EXPECT_EQ(run.exitCode, 2) << run.output;
  run = testing::RunProgram(SEALRUN_PROGRAM, {"demo", "--frobnicate"});
  EXPECT_EQ(run.exitCode, 2) << run.output;
  {
    sealrun::testing::ScopedEnv key("SEALRUN_DEMO_KEY", (temp / "no-key").string());
    run = testing::RunProgram(SEALRUN_PROGRAM, {"demo", "--folder", (temp / "new").string()});
    EXPECT_EQ(run.exitCode, 2) << run.output;
    EXPECT_NE(run.output.find("demo seal key"), std::string::npos) << run.output;
    EXPECT_FALSE(fs::exists(temp / "new")) << "nothing is made before the key is found";
  }
  run = testing::RunProgram(SEALRUN_PROGRAM, {"demo", "--help"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.output.find("examples:"), std::string::npos) << run.output;
}

}  // namespace
}  // namespace sealrun::apps
