// What killed runs leave behind is cleaned up by the next run, and only that: files of runs still going and
// files that only look alike stay.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "tests/apps/FrontEndFixture.h"

namespace sealrun::apps {
namespace {

TEST_F(FrontEnd, PrivateHostSettingsOfKilledRunsAreRemoved) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ASSERT_GT(child, 0);
  ASSERT_EQ(::waitpid(child, nullptr, 0), child);
  const std::string killed = "sealrun-host-" + std::to_string(child) + ".conf";
  const std::string live = "sealrun-host-" + std::to_string(::getppid()) + ".conf";
  const std::string alike = "sealrun-host-notes.conf";
  for (const std::string& name : {killed, live, alike}) std::ofstream(temp_ / name) << "[AddIns]\n";

  const auto path = Template("pdfjs-sizes.pdf");
  const ProgramRun listed = Sealrun({"templates", path.string()});
  ASSERT_EQ(listed.exitCode, 0) << listed.output;

  EXPECT_FALSE(std::filesystem::exists(temp_ / killed));
  EXPECT_TRUE(std::filesystem::exists(temp_ / live));
  EXPECT_TRUE(std::filesystem::exists(temp_ / alike));
  int ownLeft = 0;
  for (const auto& entry : std::filesystem::directory_iterator(temp_.Path())) {
    const std::string name = entry.path().filename().string();
    ownLeft += name.rfind("sealrun-host-", 0) == 0 && name != live && name != alike ? 1 : 0;
  }
  EXPECT_EQ(ownLeft, 0) << "the run removes its own private settings";
}

}  // namespace
}  // namespace sealrun::apps
