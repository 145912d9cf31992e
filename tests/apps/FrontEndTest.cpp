// The terminal front end end to end: pre-stamping a real template and listing its pre-stamps, with the
// add-in registered on first use, and the refusals a user can meet.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/imaging/ImageCodec.h"
#include "tests/apps/FrontEndFixture.h"

namespace sealrun::apps {
namespace {

TEST_F(FrontEnd, PrestampThenTemplatesReadsTheSavedRecordsBack) {
  const auto path = Template("pdfjs-sizes.pdf");
  const ProgramRun placed = Sealrun({"prestamp", path.string(), "--page", "1", "--at", "300,400"});
  ASSERT_EQ(placed.exitCode, 0) << placed.output;
  EXPECT_NE(placed.output.find("预盖位置1"), std::string::npos) << placed.output;
  EXPECT_TRUE(std::filesystem::exists(temp_ / "registry")) << "registered for the user on first use";

  auto image = platform::imaging::Image::Create(200, 100, 24);
  sealrun::testing::WriteFileBytes(temp_ / "Oval.png", *platform::imaging::EncodePng(*image));
  const ProgramRun second = Sealrun({"prestamp", path.string(), "--page", "3", "--at", "100,100", "--image",
                              (temp_ / "Oval.png").string(), "--view-rotation", "90"});
  ASSERT_EQ(second.exitCode, 0) << second.output;

  const ProgramRun listed = Sealrun({"templates", path.string()});
  ASSERT_EQ(listed.exitCode, 0) << listed.output;
  const auto records = Records(listed.output);
  ASSERT_EQ(records.size(), 2u) << listed.output;
  ASSERT_EQ(records[0].size(), 18u);
  const auto number = [](const std::string& text) { return std::stod(text); };
  // 150 pixels are 112 points, centred on 300,400 of page 1 (612 x 792); the click passes through whole
  // view pixels, so the centre may move by a fraction of a point.
  EXPECT_NEAR(number(records[0][0]), 244, 1);
  EXPECT_NEAR(number(records[0][1]), 344, 1);
  EXPECT_EQ(number(records[0][2]) - number(records[0][0]), 112);
  EXPECT_EQ(number(records[0][3]) - number(records[0][1]), 112);
  EXPECT_EQ(records[0][4], "0");
  EXPECT_EQ(records[0][5], "0");
  EXPECT_EQ(records[0][6], "预盖位置1");
  EXPECT_EQ(records[0][7], "0");
  EXPECT_EQ(records[0][8], "612");
  EXPECT_EQ(records[0][9], "792");
  EXPECT_EQ(number(records[0][10]), number(records[0][0])) << "top-left horizontal: left";
  EXPECT_EQ(number(records[0][16]), 612 - number(records[0][2])) << "bottom-right horizontal";
  EXPECT_EQ(number(records[0][17]), 792 - number(records[0][3])) << "bottom-right vertical";
  // The chosen picture, turned by the view: 75 wide and 150 high around 100,100 on page 3.
  EXPECT_EQ(records[1][4], "2");
  EXPECT_EQ(records[1][6], "Oval");
  EXPECT_EQ(records[1][7], "90");
  EXPECT_EQ(number(records[1][2]) - number(records[1][0]), 75);
  EXPECT_EQ(number(records[1][3]) - number(records[1][1]), 150);
  EXPECT_NEAR(number(records[1][0]), 62.5, 1);
}

TEST_F(FrontEnd, RefusalsSayWhatIsWrong) {
  sealrun::testing::WriteFileBytes(temp_ / "notes.pdf", "just some text, not a PDF");
  ProgramRun run = Sealrun({"templates", (temp_ / "notes.pdf").string()});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.output.find("not a PDF"), std::string::npos) << run.output;

  const auto path = Template("pdfjs-sizes.pdf");
  sealrun::testing::WriteFileBytes(temp_ / "seal.png", "\x89PNG broken");
  run = Sealrun({"prestamp", path.string(), "--page", "1", "--at", "10,10", "--image", (temp_ / "seal.png").string()});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.output.find("does not decode"), std::string::npos) << run.output;

  run = Sealrun({"prestamp", path.string(), "--page", "9", "--at", "10,10"});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.output.find("no page 9"), std::string::npos) << run.output;

  run = Sealrun({"prestamp", path.string(), "--page", "1"});
  EXPECT_EQ(run.exitCode, 2);

  // A template that cannot be written: the pre-stamp is placed but saving is refused.
  std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::group_read,
                               std::filesystem::perm_options::replace);
  run = Sealrun({"prestamp", path.string(), "--page", "1", "--at", "300,300"});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.output.find("cannot be saved"), std::string::npos) << run.output;
  std::filesystem::permissions(path, std::filesystem::perms::owner_all, std::filesystem::perm_options::replace);

  EXPECT_EQ(Sealrun({"prestamp", "--help"}).exitCode, 0);
  EXPECT_EQ(Sealrun({"templates", "--help"}).exitCode, 0);
  EXPECT_EQ(Sealrun({"frobnicate"}).exitCode, 2);
}

TEST_F(FrontEnd, AModuleThatCannotBeLoadedIsReported) {
  const auto path = Template("pdfjs-sizes.pdf");
  sealrun::testing::WriteFileBytes(temp_ / "broken.qpi", "not a shared object");
  sealrun::testing::ScopedEnv module("SEALRUN_ADDIN_MODULE", (temp_ / "broken.qpi").string());
  const ProgramRun run = Sealrun({"templates", path.string()});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.output.find("cannot be loaded"), std::string::npos) << run.output;
}

}  // namespace
}  // namespace sealrun::apps
