#pragma once
// Certificates for the HTTPS tests, made at test time with the openssl command line in a temporary folder:
// a CA, a server certificate for 127.0.0.1 and localhost, client certificates, and a second CA nobody
// trusts with a server and a client certificate of its own. No private key is kept in the repository.
#include <filesystem>
#include <string>
#include <vector>

#include "tests/testsupport/TempDir.h"
#include "tests/testsupport/ToolRun.h"

namespace sealrun::testing {

class TlsTestFiles {
 public:
  TlsTestFiles() {
    WriteExtensions();
    ok_ = MakeCa("ca") && MakeLeaf("server", "ca", "server", "127.0.0.1") && MakeLeaf("alice", "ca", "client", "alice") &&
          MakeLeaf("mallory", "ca", "client", "mallory") && MakeCa("rogue-ca") &&
          MakeLeaf("rogue-server", "rogue-ca", "server", "127.0.0.1") &&
          MakeLeaf("rogue-client", "rogue-ca", "client", "alice");
  }

  // False when openssl could not make them; Problem() says why.
  bool Ok() const { return ok_; }
  const std::string& Problem() const { return problem_; }

  // NAME.pem and NAME.key for ca, server, alice, mallory, rogue-ca, rogue-server, rogue-client.
  std::filesystem::path Certificate(const std::string& name) const { return folder_ / (name + ".pem"); }
  std::filesystem::path Key(const std::string& name) const { return folder_ / (name + ".key"); }
  std::filesystem::path Folder() const { return folder_.Path(); }

  // SHA-256 fingerprint as openssl prints it (upper-case hex pairs with colons).
  std::string Fingerprint(const std::string& name) const {
    const ToolRun run = RunProgram("openssl", {"x509", "-noout", "-fingerprint", "-sha256", "-in", Certificate(name).string()},
                                   ErrorStream::Apart);
    const std::size_t equals = run.output.find('=');
    if (run.exitCode != 0 || equals == std::string::npos) return {};
    return run.output.substr(equals + 1, run.output.find_first_of("\r\n", equals) - equals - 1);
  }

 private:
  void WriteExtensions() {
    const std::string text =
        "[req]\ndistinguished_name = dn\n[dn]\n"
        "[ca]\nbasicConstraints = critical,CA:TRUE\nkeyUsage = critical,keyCertSign,cRLSign\nsubjectKeyIdentifier = hash\n"
        "[server]\nbasicConstraints = critical,CA:FALSE\nsubjectAltName = IP:127.0.0.1,DNS:localhost\n"
        "extendedKeyUsage = serverAuth\n"
        "[client]\nbasicConstraints = critical,CA:FALSE\nextendedKeyUsage = clientAuth\n";
    WriteFileBytes(folder_ / "openssl.cnf", text);
  }

  bool Run(const std::vector<std::string>& arguments) {
    const ToolRun run = RunProgram("openssl", arguments);
    if (run.exitCode != 0) problem_ += run.output;
    return run.exitCode == 0;
  }

  std::vector<std::string> Common(const std::string& name, const std::string& extensions, const std::string& subject) {
    return {"req", "-x509", "-config", (folder_ / "openssl.cnf").string(), "-extensions", extensions, "-newkey", "ec",
            "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-keyout", Key(name).string(), "-out",
            Certificate(name).string(), "-subj", "/CN=" + subject, "-days", "2"};
  }

  bool MakeCa(const std::string& name) { return Run(Common(name, "ca", "Sealrun test " + name)); }

  bool MakeLeaf(const std::string& name, const std::string& ca, const std::string& extensions, const std::string& subject) {
    std::vector<std::string> arguments = Common(name, extensions, subject);
    arguments.insert(arguments.end(), {"-CA", Certificate(ca).string(), "-CAkey", Key(ca).string()});
    return Run(arguments);
  }

  TempDir folder_;
  bool ok_ = false;
  std::string problem_;
};

}  // namespace sealrun::testing
