#include "bench/support/PdfsigKeys.h"

#include "bench/support/ToolProcess.h"

namespace sealrun::bench {

namespace {

constexpr char kRootNickname[] = "Sealrun Demo Root CA";

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

}  // namespace

std::unique_ptr<PdfsigKeys> PdfsigKeys::Create(std::string& failure) {
  auto keys = std::make_unique<PdfsigKeys>(Passkey());
  if (keys->folder_.Path().empty()) return failure = "no temporary folder", nullptr;
  const std::filesystem::path demo = SEALRUN_BENCH_DEMO_KEY;
  keys->database_ = "sql:" + keys->folder_.Path().string();
  const ToolRun created = RunProgram({"certutil", "-N", "-d", keys->database_, "--empty-password"});
  if (created.exitCode != 0) return failure = "certutil -N: " + created.output, nullptr;
  // The PKCS#12 is protected by the key's PIN; the database itself has no password.
  const ToolRun imported =
      RunProgram({"pk12util", "-i", (demo / "signer.p12").string(), "-d", keys->database_, "-W", "123456", "-K", ""});
  if (imported.exitCode != 0) return failure = "pk12util: " + imported.output, nullptr;
  const ToolRun root = RunProgram({"certutil", "-A", "-d", keys->database_, "-n", kRootNickname, "-t", "C,C,C", "-i",
                                   (demo / "root.pem").string()});
  if (root.exitCode != 0) return failure = "certutil -A: " + root.output, nullptr;

  // The signer's nickname is the PKCS#12 friendly name; pdfsig lists it.
  const ToolRun nicks = RunProgram({"pdfsig", "-nssdir", keys->database_, "-list-nicks"});
  const std::string heading = "Certificate nicknames available:\n";
  const auto at = nicks.output.find(heading);
  if (nicks.exitCode != 0 || at == std::string::npos) return failure = "pdfsig -list-nicks: " + nicks.output, nullptr;
  std::string nickname = nicks.output.substr(at + heading.size());
  nickname = nickname.substr(0, nickname.find('\n'));
  if (nickname.empty() || nickname == kRootNickname) return failure = "no signer key in the NSS database", nullptr;
  keys->nickname_ = nickname;
  return keys;
}

std::vector<std::string> PdfsigKeys::SignCommand(const std::filesystem::path& input,
                                                 const std::filesystem::path& output) const {
  return {"pdfsig", "-add-signature", "-nssdir", database_, "-nick", nickname_, input.string(), output.string()};
}

std::vector<std::string> PdfsigKeys::VerifyCommand(const std::filesystem::path& file) const {
  return {"pdfsig", "-nssdir", database_, file.string()};
}

bool PdfsigReportsAllValid(const std::string& report, int expectedSignatures) {
  return Count(report, "Signature Validation: Signature is Valid.") == expectedSignatures &&
         Count(report, "Certificate Validation: Certificate is Trusted.") == expectedSignatures &&
         Count(report, "Signature Validation:") == expectedSignatures;
}

}  // namespace sealrun::bench
