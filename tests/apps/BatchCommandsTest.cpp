// The batch commands end to end, as a user runs them from a shell with the demo seal key inserted:
// sealing by template and by keyword, verification, inspection and removal in both seal forms, inputs
// given as folders and patterns, every misuse refused with the files untouched, handwritten seals, and a
// signing run killed in the middle that leaves every file whole.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "platform/imaging/ImageCodec.h"
#include "tests/apps/FrontEndFixture.h"
#include "tests/apps/TramexServerProcess.h"
#include "tests/testsupport/TestCertificates.h"

extern char** environ;

namespace sealrun::apps {
namespace {

namespace fs = std::filesystem;
using sealrun::testing::ReadFileBytes;
using sealrun::testing::WriteFileBytes;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class BatchCommands : public FrontEnd {
 protected:
  void SetUp() override {
    fs::copy(SEALRUN_DEMO_KEY, temp_ / "key", fs::copy_options::recursive);
  }

  // A writable copy of a corpus file in `folder` (made if needed) under `name`.
  fs::path Copy(const std::string& corpusName, const fs::path& folder, const std::string& name) {
    fs::create_directories(folder);
    const fs::path target = folder / name;
    fs::copy_file(sealrun::testing::CorpusFile(corpusName), target, fs::copy_options::overwrite_existing);
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
    return target;
  }

  // A template with one pre-stamp on its first page.
  fs::path PrestampedTemplate() {
    const fs::path path = Copy("pdfjs-sizes.pdf", temp_.Path(), "template.pdf");
    const ProgramRun run = Sealrun({"prestamp", path.string(), "--page", "1", "--at", "300,400"});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    return path;
  }

  std::map<fs::path, std::string> Snapshot(const std::vector<fs::path>& files) {
    std::map<fs::path, std::string> bytes;
    for (const auto& file : files) bytes[file] = ReadFileBytes(file);
    return bytes;
  }

  void ExpectUnchanged(const std::map<fs::path, std::string>& before) {
    for (const auto& [file, bytes] : before) EXPECT_EQ(ReadFileBytes(file), bytes) << file << " changed";
  }
  // Every file is byte-identical to before or its original bytes carry an update with one valid seal; the
  // number of sealed files.
  int CheckUntouchedOrCompletelySealed(const std::vector<fs::path>& files, const std::map<fs::path, std::string>& before) {
    int sealed = 0;
    for (const fs::path& file : files) {
      const std::string bytes = ReadFileBytes(file);
      if (bytes == before.at(file)) continue;
      ++sealed;
      EXPECT_EQ(bytes.substr(0, before.at(file).size()), before.at(file)) << file;
      const ProgramRun verified = Sealrun({"verify", file.string()});
      EXPECT_EQ(verified.exitCode, 0) << file << " is readable and its seal valid\n" << verified.output;
      EXPECT_TRUE(Contains(verified.output, "印章总数:1 有效:1")) << verified.output;
    }
    return sealed;
  }
};

TEST_F(BatchCommands, SealVerifyInspectAndRemoveAFolderOfSealAnnotations) {
  const fs::path tmpl = PrestampedTemplate();
  const fs::path in = temp_ / "in";
  const fs::path a = Copy("pypdf-crazyones.pdf", in, "a.pdf");
  const fs::path b = Copy("pdfjs-tracemonkey.pdf", in, "b.pdf");
  const fs::path broken = in / "c.pdf";
  WriteFileBytes(broken, "%PDF-1.4 and nothing after it");
  const auto before = Snapshot({a, b, broken});

  ProgramRun run = Sealrun({"sign", "--template", tmpl.string(), "--seal", "演示公章", "--pin", "123456", in.string()});
  EXPECT_EQ(run.exitCode, 1) << "one file of the folder failed\n" << run.output;
  EXPECT_TRUE(Contains(run.output, "共有文档：3")) << run.output;
  EXPECT_TRUE(Contains(run.output, "签章成功：2")) << run.output;
  EXPECT_TRUE(Contains(run.output, "签章失败：1")) << run.output;
  EXPECT_TRUE(Contains(run.output, "not sealed: " + broken.string())) << run.output;
  EXPECT_EQ(ReadFileBytes(broken), before.at(broken));
  for (const fs::path& sealed : {a, b}) {
    const std::string bytes = ReadFileBytes(sealed);
    ASSERT_GT(bytes.size(), before.at(sealed).size());
    EXPECT_EQ(bytes.substr(0, before.at(sealed).size()), before.at(sealed)) << "only an update is appended";
  }

  run = Sealrun({"verify", "--export", (temp_ / "log.txt").string(), (in / "*.pdf").string()});
  EXPECT_EQ(run.exitCode, 1) << "the broken file does not open\n" << run.output;
  EXPECT_TRUE(Contains(run.output, "a.pdf\t印章总数:1 有效:1 失效:0")) << run.output;
  EXPECT_TRUE(Contains(run.output, "b.pdf\t印章总数:1 有效:1 失效:0")) << run.output;
  EXPECT_TRUE(Contains(run.output, "c.pdf\t文档打开失败")) << run.output;
  EXPECT_TRUE(fs::file_size(temp_ / "log.txt") > 0);

  run = Sealrun({"verify", a.string(), b.string()});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "有效印章文档：2份")) << run.output;

  run = Sealrun({"inspect", "--json", a.string()});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "\"valid\": true, \"revision\": 1, \"findings\": [], \"changes\": []")) << run.output;
  EXPECT_TRUE(Contains(run.output, "KeyName=演示公章")) << run.output;

  const auto sealed = Snapshot({a, b});
  run = Sealrun({"remove", "--pin", "123456", a.string(), b.string()});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "撤章成功：2份")) << run.output;
  for (const fs::path& file : {a, b})
    EXPECT_EQ(ReadFileBytes(file).substr(0, sealed.at(file).size()), sealed.at(file)) << "removal appends too";
  run = Sealrun({"verify", a.string(), b.string()});
  EXPECT_TRUE(Contains(run.output, "a.pdf\t印章总数:0 有效:0 失效:0")) << run.output;
}

TEST_F(BatchCommands, InspectNamesTheUpdateEachSealWasAddedInAndWhatLaterUpdatesChanged) {
  const fs::path tmpl = PrestampedTemplate();
  const fs::path file = Copy("pypdf-crazyones.pdf", temp_ / "in", "twice.pdf");
  for (int round = 0; round < 2; ++round) {
    const ProgramRun run =
        Sealrun({"sign", "--template", tmpl.string(), "--seal", "演示公章", "--pin", "123456", file.string()});
    ASSERT_EQ(run.exitCode, 0) << run.output;
  }
  ProgramRun run = Sealrun({"inspect", "--json", file.string()});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(std::regex_search(run.output, std::regex("\"valid\": true, \"revision\": 1, \"findings\": \\[\\], "
                                                        "\"changes\": \\[\\{\"kind\": \"seal annotation added\", "
                                                        "\"revision\": 2, \"page\": 1, \"object\": [0-9]+, "
                                                        "\"allowed\": true\\}\\]")))
      << run.output;
  EXPECT_TRUE(Contains(run.output, "\"valid\": true, \"revision\": 2, \"findings\": [], \"changes\": []")) << run.output;
  run = Sealrun({"inspect", file.string()});
  EXPECT_TRUE(Contains(run.output, ": valid, added in revision 1\n    later change: revision 2, page 1, object "))
      << run.output;
  EXPECT_TRUE(Contains(run.output, ": seal annotation added, allowed\n")) << run.output;
}

TEST_F(BatchCommands, KeywordSealsAsSignatureFieldsThatPdfsigAccepts) {
  UseSignatureMode("1");
  const fs::path file = Copy("pypdf-crazyones.pdf", temp_ / "in", "crazy ones.pdf");
  ProgramRun run = Sealrun({"sign", "--keyword", "crazy", "--seal", "演示公章", "--pin", "123456", file.string()});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "签章成功：1")) << run.output;

  const ProgramRun pdfsig = testing::RunProgram("pdfsig", {file.string()});
  EXPECT_TRUE(Contains(pdfsig.output, "Signature #1")) << pdfsig.output;
  EXPECT_TRUE(Contains(pdfsig.output, "Signature Validation: Signature is Valid.")) << pdfsig.output;

  run = Sealrun({"inspect", file.string()});
  EXPECT_TRUE(Contains(run.output, "signature-field page 1")) << run.output;
  EXPECT_TRUE(Contains(run.output, ": valid")) << run.output;
  run = Sealrun({"remove", "--pin", "123456", file.string()});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  run = Sealrun({"verify", file.string()});
  EXPECT_TRUE(Contains(run.output, "印章总数:0")) << run.output;
}

TEST_F(BatchCommands, SignaturesMadeByTheSigningServerOrTheFileLeftAsItWas) {
  const fs::path tmpl = PrestampedTemplate();
  UseSignatureMode("1");
  const auto server = sealrun::testing::TramexServerProcess::Start({});
  ASSERT_TRUE(server) << "tramex-server did not start";
  UseSigningServer(server->Url("/tramex"));
  const fs::path file = Copy("pypdf-crazyones.pdf", temp_ / "in", "online.pdf");
  ProgramRun run = Sealrun({"sign", "--template", tmpl.string(), "--seal", "演示公章", "--pin", "123456", file.string()});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  const ProgramRun pdfsig = testing::RunProgram("pdfsig", {file.string()});
  EXPECT_TRUE(Contains(pdfsig.output, "Signature Validation: Signature is Valid.")) << pdfsig.output;
  EXPECT_TRUE(Contains(pdfsig.output, "演示签章人")) << "the server's certificate\n" << pdfsig.output;
  const std::vector<std::string> requests = server->RequestLines(2);
  ASSERT_EQ(requests.size(), 2u) << "a signing request and its verification";
  EXPECT_TRUE(Contains(requests[0] + requests[1], "SIGNCONTEXT")) << requests[0] << "\n" << requests[1];

  const auto refusing = sealrun::testing::TramexServerProcess::Start({"--fail", "refuse"});
  ASSERT_TRUE(refusing);
  UseSigningServer(refusing->Url("/tramex"));
  const fs::path other = Copy("pypdf-crazyones.pdf", temp_ / "in", "refused.pdf");
  const auto before = Snapshot({other});
  {
    // With the add-in's traces on, the user reads why the file was not sealed.
    const sealrun::testing::ScopedEnv debug("SEALRUN_DEBUG", "1");
    run = Sealrun({"sign", "--template", tmpl.string(), "--seal", "演示公章", "--pin", "123456", other.string()});
  }
  EXPECT_EQ(run.exitCode, 1) << run.output;
  EXPECT_TRUE(Contains(run.output, "签章失败：1")) << run.output;
  EXPECT_TRUE(Contains(run.output, "ZQ_Ortavex2018_Normal_" + other.string() + " not sealed: the signing server refused"))
      << run.output;
  ExpectUnchanged(before);
}

TEST_F(BatchCommands, WithCertificateValidationOnTheDemoKeysSealsVerifyAgainstTheInstalledRootOnly) {
  // The demo key's root and revocation list installed beside the add-in module; ValidateCertificate on.
  const fs::path module = temp_ / "module";
  fs::create_directories(module);
  for (const char* file : {"ZQ_Root.cer", "ZQ_Crl.crl"}) fs::copy_file(fs::path(SEALRUN_DEMO_KEY) / file, module / file);
  const fs::path folder = temp_ / "config" / "Signavox_ConfigFile";
  fs::create_directories(folder);
  WriteFileBytes(folder / "BrasmoorPublic.dll",
                 "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Brasmoor><Public><ValidateCertificate>true"
                 "</ValidateCertificate></Public></Brasmoor>\r\n");
  const fs::path tmpl = PrestampedTemplate();
  const fs::path annotated = Copy("pypdf-crazyones.pdf", temp_ / "in", "annotated.pdf");
  ProgramRun run = Sealrun({"sign", "--template", tmpl.string(), "--seal", "演示公章", "--pin", "123456", annotated.string()});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(Contains(ReadFileBytes(annotated), "/certSignMsg")) << "the certificate library signed the fingerprint";
  UseSignatureMode("1");
  const fs::path fielded = Copy("pypdf-crazyones.pdf", temp_ / "in", "fielded.pdf");
  run = Sealrun({"sign", "--template", tmpl.string(), "--seal", "演示公章", "--pin", "123456", fielded.string()});
  ASSERT_EQ(run.exitCode, 0) << run.output;

  for (const char* mode : {"0", "1"}) {
    UseSignatureMode(mode);
    const fs::path& file = std::string(mode) == "0" ? annotated : fielded;
    run = Sealrun({"verify", file.string()});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(Contains(run.output, "印章总数:1 有效:1 失效:0")) << run.output;
  }
  // Another root installed: the same seals' signer is no longer trusted.
  sealrun::testing::TestCertificateOptions otherRoot;
  otherRoot.commonName = "Another Root";
  otherRoot.isCa = true;
  const auto other = sealrun::testing::MakeSelfSignedForTesting(otherRoot);
  WriteFileBytes(module / "ZQ_Root.cer", std::string(other.certificateDer.begin(), other.certificateDer.end()));
  for (const char* mode : {"0", "1"}) {
    UseSignatureMode(mode);
    run = Sealrun({"verify", (std::string(mode) == "0" ? annotated : fielded).string()});
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_TRUE(Contains(run.output, "印章总数:1 有效:0 失效:1")) << run.output;
  }
}

TEST_F(BatchCommands, MisuseIsRefusedAndLeavesEveryFileAsItWas) {
  const fs::path tmpl = PrestampedTemplate();
  const fs::path file = Copy("pypdf-crazyones.pdf", temp_ / "in", "a.pdf");
  fs::create_directories(temp_ / "empty");
  const auto before = Snapshot({file, tmpl});
  const struct {
    std::vector<std::string> arguments;
    std::string says;
  } cases[] = {
      {{"sign", "--template", tmpl.string(), "--seal", "演示公章", "--pin", "000000", file.string()}, "密码错误"},
      {{"sign", "--template", tmpl.string(), "--seal", "没有这个章", "--pin", "123456", file.string()},
       "no seal named"},
      {{"sign", "--template", tmpl.string(), "--seal", "演示公章", "--pin", "123456", (temp_ / "gone.pdf").string()},
       "does not exist"},
      {{"sign", "--template", tmpl.string(), "--seal", "演示公章", "--pin", "123456", (temp_ / "empty").string()},
       "holds no PDF file"},
      {{"sign", "--template", tmpl.string(), "--seal", "演示公章", "--pin", "123456",
        (temp_ / "in" / "*.txt").string()},
       "no file matches"},
      {{"sign", "--keyword", "x", "--template", tmpl.string(), "--seal", "演示公章", "--pin", "1", file.string()},
       "either --template"},
      {{"verify", "--pin", "123456", file.string()}, "unexpected argument --pin"},
      {{"verify"}, "at least one PDF file"},
      {{"remove", file.string()}, "--pin"},
      {{"remove", "--pin", "000000", file.string()}, "密码错误"},
      {{"inspect", (temp_ / "gone.pdf").string()}, "does not exist"},
  };
  for (const auto& c : cases) {
    const ProgramRun run = Sealrun(c.arguments);
    EXPECT_EQ(run.exitCode, 2) << c.arguments[0] << " " << c.says << "\n" << run.output;
    EXPECT_TRUE(Contains(run.output, c.says)) << run.output;
  }
  ExpectUnchanged(before);

  // Without a key nothing can be sealed or removed, and the user is told why.
  fs::remove_all(temp_ / "key");
  const ProgramRun run = Sealrun({"sign", "--template", tmpl.string(), "--seal", "演示公章", "--pin", "123456",
                                  file.string()});
  EXPECT_EQ(run.exitCode, 2) << run.output;
  ExpectUnchanged(before);

  for (const char* command : {"sign", "verify", "remove", "inspect", "setup", "prestamp", "templates"}) {
    const ProgramRun help = Sealrun({command, "--help"});
    EXPECT_EQ(help.exitCode, 0) << command;
    EXPECT_TRUE(Contains(help.output, "example")) << command << " --help shows examples\n" << help.output;
  }
}

TEST_F(BatchCommands, HandwrittenSignatureIsStampedInBothForms) {
  auto picture = platform::imaging::Image::Create(240, 120, 24);
  ASSERT_TRUE(picture);
  WriteFileBytes(temp_ / "hand.png", *platform::imaging::EncodePng(*picture));
  const fs::path tmpl = PrestampedTemplate();
  for (const char* mode : {"0", "1"}) {
    UseSignatureMode(mode);
    const fs::path file = Copy("pypdf-crazyones.pdf", temp_ / "in", std::string("hand-") + mode + ".pdf");
    ProgramRun run = Sealrun({"sign", "--template", tmpl.string(), "--seal", "演示公章", "--handwriting",
                              (temp_ / "hand.png").string(), "--handwriting-pin", "123456", file.string()});
    ASSERT_EQ(run.exitCode, 0) << "mode " << mode << "\n" << run.output;
    run = Sealrun({"inspect", file.string()});
    EXPECT_TRUE(Contains(run.output, "SignatureType=5")) << "mode " << mode << "\n" << run.output;
    EXPECT_TRUE(Contains(run.output, ": valid")) << run.output;
  }
  // A picture that does not decode takes no signature and seals nothing.
  WriteFileBytes(temp_ / "broken.png", "\x89PNG\r\n\x1a\n broken");
  const fs::path file = Copy("pypdf-crazyones.pdf", temp_ / "in", "untouched.pdf");
  const auto before = Snapshot({file});
  const ProgramRun run = Sealrun({"sign", "--template", tmpl.string(), "--seal", "演示公章", "--handwriting",
                                  (temp_ / "broken.png").string(), "--handwriting-pin", "123456", file.string()});
  EXPECT_EQ(run.exitCode, 2) << run.output;
  ExpectUnchanged(before);
}

// Starts the program with its standard error on a pipe; the caller reads it and kills the child.
struct Child {
  pid_t pid = -1;
  int errors = -1;
  ~Child() {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    if (errors >= 0) close(errors);
  }
};

bool Spawn(Child& child, const std::vector<std::string>& arguments) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDERR_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
  std::vector<char*> argv;
  for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  const int spawned = posix_spawn(&child.pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[1]);
  child.errors = pipeEnds[0];
  if (spawned != 0) child.pid = -1;
  return spawned == 0;
}

// Waits until the child's standard error holds `text` (or it ends, or a minute goes by).
bool WaitFor(const Child& child, const std::string& text) {
  std::string seen;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd ready{child.errors, POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) continue;
    char buffer[512];
    const ssize_t got = read(child.errors, buffer, sizeof buffer);
    if (got <= 0) return false;
    seen.append(buffer, static_cast<size_t>(got));
    if (Contains(seen, text)) return true;
  }
  return false;
}

TEST_F(BatchCommands, ARunKilledInTheMiddleLeavesEveryFileUntouchedOrCompletelySealed) {
  const fs::path tmpl = PrestampedTemplate();
  const fs::path in = temp_ / "in";
  std::vector<fs::path> files;
  for (int i = 0; i < 40; ++i) files.push_back(Copy("pdfjs-tracemonkey.pdf", in, "f" + std::to_string(i) + ".pdf"));
  const auto before = Snapshot(files);
  {
    Child child;
    ASSERT_TRUE(Spawn(child, {SEALRUN_PROGRAM, "sign", "--template", tmpl.string(), "--seal", "演示公章", "--pin",
                              "123456", in.string()}));
    ASSERT_TRUE(WaitFor(child, "progress: ")) << "the run shows its progress";
  }  // killed here, in the middle of the batch

  const int sealed = CheckUntouchedOrCompletelySealed(files, before);
  EXPECT_GT(sealed, 0) << "the run was killed after it had sealed something";
  EXPECT_LT(sealed, static_cast<int>(files.size())) << "the run was killed before it ended";
}

// Ctrl+C or SIGTERM stops the run between files: it says how far it came, prints its summary and exits with
// 128 + the signal; every file is untouched or completely sealed, and no copy is left behind.
TEST_F(BatchCommands, ARunAskedToStopFinishesTheFileInHandAndSaysHowFarItCame) {
  const fs::path tmpl = PrestampedTemplate();
  const fs::path in = temp_ / "in";
  std::vector<fs::path> files;
  for (int i = 0; i < 40; ++i) files.push_back(Copy("pdfjs-tracemonkey.pdf", in, "f" + std::to_string(i) + ".pdf"));
  const auto before = Snapshot(files);
  Child child;
  ASSERT_TRUE(Spawn(child, {SEALRUN_PROGRAM, "sign", "--template", tmpl.string(), "--seal", "演示公章", "--pin",
                            "123456", in.string()}));
  ASSERT_TRUE(WaitFor(child, "progress: ")) << "the run shows its progress";
  ASSERT_EQ(kill(child.pid, SIGTERM), 0);
  std::string errors;
  char buffer[512];
  for (ssize_t got; (got = read(child.errors, buffer, sizeof buffer)) > 0;) errors.append(buffer, static_cast<size_t>(got));
  int status = 0;
  ASSERT_EQ(waitpid(child.pid, &status, 0), child.pid);
  child.pid = -1;
  ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal instead of stopping\n" << errors;
  EXPECT_EQ(WEXITSTATUS(status), 128 + SIGTERM) << errors;
  EXPECT_TRUE(Contains(errors, "stopped on request after ")) << errors;

  const int sealed = CheckUntouchedOrCompletelySealed(files, before);
  EXPECT_LT(sealed, static_cast<int>(files.size())) << "the run stopped before the last file";
  for (const auto& entry : fs::directory_iterator(in)) EXPECT_EQ(entry.path().extension(), ".pdf") << entry.path();
}

}  // namespace
}  // namespace sealrun::apps
