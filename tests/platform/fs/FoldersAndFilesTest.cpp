#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/fs/Files.h"
#include "platform/fs/KnownFolders.h"
#include "platform/fs/Paths.h"
#include "tests/testsupport/TempDir.h"

namespace sealrun::platform::fs {
namespace {

using sealrun::testing::ReadFileBytes;
using sealrun::testing::ScopedEnv;
using sealrun::testing::TempDir;
using sealrun::testing::WriteFileBytes;

TEST(KnownFolders, EachFolderHasADefaultAndAnOverride) {
  ScopedEnv home("HOME", "/home/someone");
  {
    ScopedEnv config("XDG_CONFIG_HOME", std::nullopt);
    ScopedEnv registry("SEALRUN_REGISTRY", std::nullopt);
    ScopedEnv key("SEALRUN_KEY", std::nullopt);
    ScopedEnv system("SEALRUN_SYSTEM_DIR", std::nullopt);
    ScopedEnv temp("TMPDIR", std::nullopt);
    EXPECT_EQ(AppDataDir(), "/home/someone/.config");
    EXPECT_EQ(RegistryDir(), "/home/someone/.config/sealrun/registry");
    EXPECT_EQ(SealKeyDir(), "/home/someone/.config/sealrun/key");
    EXPECT_EQ(SystemDir(), "/etc/sealrun");
    EXPECT_EQ(fs::TempDir(), "/tmp");
  }
  ScopedEnv config("XDG_CONFIG_HOME", "/x/config");
  ScopedEnv system("SEALRUN_SYSTEM_DIR", "/x/system");
  ScopedEnv key("SEALRUN_KEY", "/media/key");
  EXPECT_EQ(AppDataDir(), "/x/config");
  EXPECT_EQ(RegistryDir(), "/x/config/sealrun/registry");
  EXPECT_EQ(SealKeyDir(), "/media/key");
  EXPECT_EQ(SystemDir(), "/x/system");
}

TEST(KnownFolders, ModuleFolderIsWhereTheCodeWasLoadedFrom) {
  static const int anchor = 0;
  ScopedEnv module("SEALRUN_MODULE_DIR", std::nullopt);
  const auto path = ModulePath(&anchor);
  EXPECT_EQ(path, std::filesystem::canonical("/proc/self/exe"));
  EXPECT_EQ(ModuleDir(&anchor), path.parent_path());
  ScopedEnv overridden("SEALRUN_MODULE_DIR", "/opt/sealrun");
  EXPECT_EQ(ModuleDir(&anchor), "/opt/sealrun");
}

TEST(Paths, AcceptBothSeparators) {
  EXPECT_EQ(FileNameOf(u"C:\\docs\\合同.pdf"), u"合同.pdf");
  EXPECT_EQ(FileNameOf(u"/home/a/b.pdf"), u"b.pdf");
  EXPECT_EQ(FileNameOf(u"mixed/dir\\c.pdf"), u"c.pdf");
  EXPECT_EQ(FileNameOf(u"plain.pdf"), u"plain.pdf");
  EXPECT_EQ(FolderOf(u"mixed\\dir/c.pdf"), u"mixed\\dir");
  EXPECT_EQ(FolderOf(u"plain.pdf"), u"");
  EXPECT_EQ(PathFromUtf16(u"\\Velmarch.SealrunPDF\\印章.dll"), std::filesystem::path("/Velmarch.SealrunPDF/印章.dll"));
  EXPECT_EQ(PathToUtf16(std::filesystem::path("/a/印章")), u"/a/印章");
}

TEST(Files, AtomicReplacementKeepsTheModeAndLeavesNoTemporaryFile) {
  TempDir dir;
  const auto path = dir / "settings.dll";
  WriteFileBytes(path, "old");
  ::chmod(path.c_str(), 0600);
  ASSERT_TRUE(ReplaceFileAtomically(path, std::string("new\0content", 11)));
  EXPECT_EQ(ReadFileBytes(path), std::string("new\0content", 11));
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), std::filesystem::directory_iterator()), 1);
  EXPECT_EQ(ReadFile(path), std::string("new\0content", 11));
}

TEST(Files, ReplacingThroughASymbolicLinkKeepsTheLinkAndReplacesItsTarget) {
  TempDir dir;
  std::filesystem::create_directory(dir / "real");
  const auto target = dir / "real" / "settings.dll";
  WriteFileBytes(target, "old");
  ::chmod(target.c_str(), 0640);
  // A link to a link, the inner one relative to its own folder.
  std::filesystem::create_symlink("real/settings.dll", dir / "inner.dll");
  std::filesystem::create_symlink(dir / "inner.dll", dir / "outer.dll");

  ASSERT_TRUE(ReplaceFileAtomically(dir / "outer.dll", "new"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "outer.dll"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "inner.dll"));
  EXPECT_EQ(ReadFileBytes(target), "new");
  struct stat info {};
  ASSERT_EQ(::stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  // The new content was written beside the target, which is the only file of its folder.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "real"), std::filesystem::directory_iterator()), 1);

  // A link whose target does not exist yet gets it, still as a link.
  std::filesystem::create_symlink("real/new.dll", dir / "dangling.dll");
  ASSERT_TRUE(ReplaceFileAtomically(dir / "dangling.dll", "made"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "dangling.dll"));
  EXPECT_EQ(ReadFileBytes(dir / "real" / "new.dll"), "made");

  // A loop of links is refused, and both links stay.
  std::filesystem::create_symlink("b.dll", dir / "a.dll");
  std::filesystem::create_symlink("a.dll", dir / "b.dll");
  EXPECT_FALSE(ReplaceFileAtomically(dir / "a.dll", "x"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "a.dll"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "b.dll"));
}

TEST(Files, FailuresAreReportedAndChangeNothing) {
  TempDir dir;
  EXPECT_FALSE(ReadFile(dir / "missing").has_value());
  EXPECT_FALSE(ReplaceFileAtomically(dir / "no-folder" / "file", "x"));
  EXPECT_FALSE(FileExists(dir / "missing"));
  EXPECT_FALSE(FileExists(dir.Path()));  // a folder is not a file
}

}  // namespace
}  // namespace sealrun::platform::fs
