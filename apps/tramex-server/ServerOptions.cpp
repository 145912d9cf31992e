#include "apps/tramex-server/ServerOptions.h"

#include <charconv>
#include <cstdlib>

#include "apps/tramex-server/ConfigFile.h"
#include "apps/tramex-server/DemoKeyLocation.h"
#include "platform/fs/Files.h"

namespace sealrun::tramex {
namespace {

bool ParseNumber(std::string_view text, long long maximum, long long& value) {
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc{} && end == text.data() + text.size() && value >= 0 && value <= maximum;
}

std::optional<FailureMode> ParseFailure(std::string_view text) {
  if (text == "refuse") return FailureMode::Refuse;
  if (text == "http500") return FailureMode::Http500;
  if (text == "nocert") return FailureMode::NoCert;
  if (text == "garbage") return FailureMode::Garbage;
  return std::nullopt;
}

// A password file holds the password on its first line; the line feed an editor adds is not part of it.
std::optional<std::string> ReadPasswordFile(const std::string& path) {
  std::optional<std::string> text = platform::fs::ReadFile(path);
  if (!text) return std::nullopt;
  if (const std::size_t end = text->find_first_of("\r\n"); end != std::string::npos) text->erase(end);
  return text;
}

// Where the signing key's password comes from, most specific first: the command line (a file, or the text
// itself), the configuration file's password_file, the environment, and for the demo key its PIN.
struct PasswordSources {
  std::optional<std::string> commandLineFile;
  std::optional<std::string> commandLineText;
};

bool ResolveKeyPassword(const PasswordSources& sources, bool demoKey, ServerOptions& options, std::string& error) {
  std::optional<std::string> file = sources.commandLineFile;
  if (!file && !sources.commandLineText && !options.passwordFile.empty()) file = options.passwordFile;
  if (file) {
    std::optional<std::string> password = ReadPasswordFile(*file);
    if (!password) {
      error = "cannot read the password file " + *file;
      return false;
    }
    options.password = std::move(*password);
    options.passwordFile = *file;
    return true;
  }
  if (sources.commandLineText) {
    options.password = *sources.commandLineText;
    options.warnings.push_back("--password is visible to other users of this machine; use --password-file or " +
                               std::string(kPasswordVariable));
    return true;
  }
  if (const char* variable = std::getenv(kPasswordVariable); variable != nullptr) {
    options.password = variable;
    return true;
  }
  if (demoKey) options.password = kDemoKeyPassword;
  return true;
}

bool Check(ServerOptions& options, std::string& error) {
  if (options.port < 0) {
    error = "--listen HOST:PORT (or listen in the configuration file) is required";
    return false;
  }
  if (options.tlsCertFile.empty() != options.tlsKeyFile.empty()) {
    error = "HTTPS needs both a certificate and its key (tls_cert and tls_key)";
    return false;
  }
  if (!options.tlsClientCaFile.empty() && options.tlsCertFile.empty()) {
    error = "client certificates (tls_client_ca) need HTTPS (tls_cert and tls_key)";
    return false;
  }
  for (const ClientEntry& client : options.clients) {
    if (!client.certificateSha256.empty() && options.tlsClientCaFile.empty()) {
      error = "client `" + client.name + "` is known by its certificate, but no tls_client_ca is configured";
      return false;
    }
  }
  return true;
}

}  // namespace

std::optional<std::chrono::milliseconds> ParseDuration(std::string_view text) {
  std::size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
  long long value = 0;
  if (!ParseNumber(text.substr(0, digits), 86'400'000, value)) return std::nullopt;
  const std::string_view unit = text.substr(digits);
  if (unit == "ms") return std::chrono::milliseconds(value);
  if (unit == "s" && value <= 86'400) return std::chrono::milliseconds(value * 1000);
  if (unit == "m" && value <= 1440) return std::chrono::milliseconds(value * 60'000);
  return std::nullopt;
}

bool ParseListenAddress(std::string_view text, std::string& host, int& port) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string_view::npos || colon == 0) return false;
  std::string_view hostPart = text.substr(0, colon);
  if (hostPart.front() == '[' && hostPart.back() == ']') hostPart = hostPart.substr(1, hostPart.size() - 2);
  long long number = 0;
  if (hostPart.empty() || !ParseNumber(text.substr(colon + 1), 65535, number)) return false;
  host = std::string(hostPart);
  port = static_cast<int>(number);
  return true;
}

std::string ServerUsage() {
  return "usage: tramex-server [--config FILE] [--listen HOST:PORT]\n"
         "                     [--key FILE.p12|FILE.pem|pkcs11:URI [--password-file FILE]] [--cert FILE]\n"
         "                     [--tls-cert FILE --tls-key FILE [--tls-client-ca FILE]]\n"
         "                     [--max-connections N] [--header-timeout 10s] [--body-timeout 10s]\n"
         "                     [--fail refuse|http500|nocert|garbage] [--delay MS]\n"
         "  The configuration file's keys are described in tramex-server.conf.example; options given here\n"
         "  override them. PORT 0 picks a free port; the first line of output is \"listening on HOST:PORT\".\n"
         "  The key's password comes from --password-file, password_file or the environment variable " +
         std::string(kPasswordVariable) +
         ".\n  A key on a PKCS#11 token (an HSM) is named by its RFC 7512 URI; its password is the token's PIN.\n"
         "  Without a key the demo key (" + DemoSigningKeyFile().string() + ") is used.\n";
}

std::optional<ServerOptions> ParseServerOptions(std::span<const std::string_view> arguments, std::string& error) {
  ServerOptions options;
  if (arguments.size() % 2 != 0) {
    error = "missing value after " + std::string(arguments.back());
    return std::nullopt;
  }
  // The file first, so that the command line overrides it wherever --config stands.
  for (std::size_t i = 0; i < arguments.size(); i += 2) {
    if (arguments[i] != "--config") continue;
    if (!LoadConfigFile(std::string(arguments[i + 1]), options, error)) return std::nullopt;
  }
  PasswordSources passwords;
  for (std::size_t i = 0; i < arguments.size(); i += 2) {
    const std::string_view name = arguments[i];
    const std::string_view value = arguments[i + 1];
    const auto invalid = [&](const std::string& wanted) {
      error = std::string(name) + " wants " + wanted + ", got \"" + std::string(value) + "\"";
      return std::nullopt;
    };
    if (name == "--config") {
      continue;
    } else if (name == "--listen") {
      if (!ParseListenAddress(value, options.host, options.port)) return invalid("HOST:PORT");
    } else if (name == "--key") {
      options.keyFile = std::string(value);
    } else if (name == "--password") {
      passwords.commandLineText = std::string(value);
    } else if (name == "--password-file") {
      passwords.commandLineFile = std::string(value);
    } else if (name == "--cert") {
      options.certFile = std::string(value);
    } else if (name == "--tls-cert") {
      options.tlsCertFile = std::string(value);
    } else if (name == "--tls-key") {
      options.tlsKeyFile = std::string(value);
    } else if (name == "--tls-client-ca") {
      options.tlsClientCaFile = std::string(value);
    } else if (name == "--max-connections") {
      long long count = 0;
      if (!ParseNumber(value, 4096, count) || count < 1) return invalid("a number from 1 to 4096");
      options.maxConnections = static_cast<int>(count);
    } else if (name == "--header-timeout" || name == "--body-timeout") {
      const std::optional<std::chrono::milliseconds> duration = ParseDuration(value);
      if (!duration || duration->count() <= 0) return invalid("a duration such as 10s or 500ms");
      (name == "--header-timeout" ? options.headerTimeout : options.bodyTimeout) = *duration;
    } else if (name == "--fail") {
      const std::optional<FailureMode> failure = ParseFailure(value);
      if (!failure) return invalid("refuse, http500, nocert or garbage");
      options.failure = *failure;
    } else if (name == "--delay") {
      long long milliseconds = 0;
      if (!ParseNumber(value, 3'600'000, milliseconds)) return invalid("milliseconds (0 to 3600000)");
      options.delay = std::chrono::milliseconds(milliseconds);
    } else {
      error = "unknown option " + std::string(name);
      return std::nullopt;
    }
  }
  if (!Check(options, error)) return std::nullopt;
  const bool demoKey = options.keyFile.empty();
  if (demoKey) options.keyFile = DemoSigningKeyFile().string();
  if (!ResolveKeyPassword(passwords, demoKey, options, error)) return std::nullopt;
  return options;
}

}  // namespace sealrun::tramex
