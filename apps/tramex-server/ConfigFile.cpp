#include "apps/tramex-server/ConfigFile.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

namespace sealrun::tramex {
namespace {

namespace fs = std::filesystem;

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

bool IsNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c == '.' || c == '@';
}

// Reads one file line by line, knowing where it is, so that every complaint names the file and the line.
class ConfigReader {
 public:
  ConfigReader(std::string path, ServerOptions& options) : path_(std::move(path)), options_(options) {
    folder_ = fs::path(path_).parent_path();
  }

  bool Read(std::string& error) {
    std::ifstream file(path_, std::ios::binary);
    if (!file) {
      error = path_ + ": cannot read: " + std::strerror(errno);
      return false;
    }
    std::string line;
    while (std::getline(file, line)) {
      ++lineNumber_;
      if (!ReadLine(line)) break;
    }
    if (error_.empty() && file.bad()) error_ = path_ + ": cannot read to the end";
    if (error_.empty()) CheckLastClient();
    error = error_;
    return error_.empty();
  }

 private:
  bool Fail(const std::string& message) {
    error_ = path_ + ":" + std::to_string(lineNumber_) + ": " + message;
    return false;
  }

  bool ReadLine(std::string_view line) {
    line = Trim(line);
    if (line.empty() || line.front() == '#' || line.front() == ';') return true;
    if (line.front() == '[') return ReadSection(line);
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return Fail("expected `key = value` or `[client NAME]`");
    const std::string key(Trim(line.substr(0, equals)));
    const std::string_view value = Trim(line.substr(equals + 1));
    if (key.empty()) return Fail("a key is missing before `=`");
    const std::string scope = inClient_ ? options_.clients.back().name : std::string();
    if (!seenKeys_.insert(scope + "\n" + key).second) return Fail("`" + key + "` is given twice");
    return inClient_ ? ReadClientKey(key, value) : ReadServerKey(key, value);
  }

  bool ReadSection(std::string_view line) {
    if (line.back() != ']') return Fail("a section header ends with `]`");
    const std::string_view inside = Trim(line.substr(1, line.size() - 2));
    const std::size_t space = inside.find_first_of(" \t");
    if (inside.substr(0, space) != "client" || space == std::string_view::npos)
      return Fail("the only section is `[client NAME]`");
    const std::string name(Trim(inside.substr(space)));
    if (name.empty() || !std::all_of(name.begin(), name.end(), IsNameCharacter))
      return Fail("a client name is letters, digits and - _ . @");
    if (!CheckLastClient()) return false;
    for (const ClientEntry& client : options_.clients) {
      if (client.name == name) return Fail("client `" + name + "` is configured twice");
    }
    options_.clients.push_back(ClientEntry{name, {}, {}, {}});
    inClient_ = true;
    sectionLine_ = lineNumber_;
    hasSerials_ = false;
    return true;
  }

  // A client section is complete when it has a credential and its list of key serials.
  bool CheckLastClient() {
    if (!inClient_) return true;
    const ClientEntry& client = options_.clients.back();
    const int here = lineNumber_;
    lineNumber_ = sectionLine_;
    bool ok = true;
    if (client.tokenSha256.empty() && client.certificateSha256.empty())
      ok = Fail("client `" + client.name + "` needs token_sha256 or cert_sha256");
    else if (!hasSerials_)
      ok = Fail("client `" + client.name + "` needs key_serials (empty for verification only)");
    lineNumber_ = here;
    return ok;
  }

  std::string Path(std::string_view value) const {
    if (value.rfind("pkcs11:", 0) == 0) return std::string(value);
    const fs::path path(value);
    return path.is_absolute() || folder_.empty() ? path.string() : (folder_ / path).string();
  }

  bool NonEmpty(const std::string& key, std::string_view value) {
    return !value.empty() || Fail("`" + key + "` needs a value");
  }

  bool ReadServerKey(const std::string& key, std::string_view value) {
    if (key == "listen") {
      return ParseListenAddress(value, options_.host, options_.port) ||
             Fail("listen wants HOST:PORT, got \"" + std::string(value) + "\"");
    }
    if (key == "max_connections") {
      int count = 0;
      const auto [end, failure] = std::from_chars(value.data(), value.data() + value.size(), count);
      if (failure != std::errc{} || end != value.data() + value.size() || count < 1 || count > 4096)
        return Fail("max_connections wants a number from 1 to 4096, got \"" + std::string(value) + "\"");
      options_.maxConnections = count;
      return true;
    }
    if (key == "header_timeout" || key == "body_timeout") {
      const std::optional<std::chrono::milliseconds> duration = ParseDuration(value);
      if (!duration || duration->count() <= 0)
        return Fail(key + " wants a duration such as 10s or 500ms, got \"" + std::string(value) + "\"");
      (key == "header_timeout" ? options_.headerTimeout : options_.bodyTimeout) = *duration;
      return true;
    }
    std::string* path = nullptr;
    if (key == "tls_cert") path = &options_.tlsCertFile;
    if (key == "tls_key") path = &options_.tlsKeyFile;
    if (key == "tls_client_ca") path = &options_.tlsClientCaFile;
    if (key == "signing_key") path = &options_.keyFile;
    if (key == "signing_cert") path = &options_.certFile;
    if (key == "password_file") path = &options_.passwordFile;
    if (path == nullptr) {
      if (key == "password") return Fail("a password is not written here: use password_file or " + std::string(kPasswordVariable));
      return Fail("unknown key `" + key + "`");
    }
    if (!NonEmpty(key, value)) return false;
    // A key on a PKCS#11 token is named by its URI, not by a file.
    *path = key == "signing_key" && value.rfind("pkcs11:", 0) == 0 ? std::string(value) : Path(value);
    return true;
  }

  bool ReadClientKey(const std::string& key, std::string_view value) {
    ClientEntry& client = options_.clients.back();
    if (key == "token_sha256" || key == "cert_sha256") {
      const std::string hex = NormaliseSha256Hex(value);
      if (hex.empty()) return Fail(key + " wants the 64 hex digits of a SHA-256 value");
      for (const ClientEntry& other : options_.clients) {
        if (&other != &client && (other.tokenSha256 == hex || other.certificateSha256 == hex))
          return Fail("client `" + other.name + "` has the same credential");
      }
      (key == "token_sha256" ? client.tokenSha256 : client.certificateSha256) = hex;
      return true;
    }
    if (key == "key_serials") {
      hasSerials_ = true;
      for (std::size_t start = 0; start <= value.size();) {
        std::size_t comma = value.find(',', start);
        if (comma == std::string_view::npos) comma = value.size();
        const std::string_view serial = Trim(value.substr(start, comma - start));
        if (!serial.empty()) client.keySerials.emplace_back(serial);
        else if (value.size() > 0) return Fail("key_serials has an empty entry");
        start = comma + 1;
      }
      return true;
    }
    return Fail("unknown key `" + key + "` in a client section");
  }

  std::string path_;
  fs::path folder_;
  ServerOptions& options_;
  int lineNumber_ = 0;
  bool inClient_ = false;
  int sectionLine_ = 0;
  bool hasSerials_ = false;
  std::set<std::string> seenKeys_;
  std::string error_;
};

}  // namespace

std::string NormaliseSha256Hex(std::string_view text) {
  std::string hex;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ':') {
      // Colons stand only between pairs of digits.
      if (hex.empty() || hex.size() % 2 != 0 || i + 1 == text.size()) return {};
      continue;
    }
    if (c >= '0' && c <= '9') hex += c;
    else if (c >= 'a' && c <= 'f') hex += c;
    else if (c >= 'A' && c <= 'F') hex += static_cast<char>(c - 'A' + 'a');
    else return {};
  }
  return hex.size() == 64 ? hex : std::string();
}

bool LoadConfigFile(const std::string& path, ServerOptions& options, std::string& error) {
  ConfigReader reader(path, options);
  return reader.Read(error);
}

}  // namespace sealrun::tramex
