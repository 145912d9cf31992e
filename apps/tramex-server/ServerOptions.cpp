#include "apps/tramex-server/ServerOptions.h"

#include <charconv>

namespace sealrun::tramex {
namespace {

bool ParseNumber(std::string_view text, long long maximum, long long& value) {
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc{} && end == text.data() + text.size() && value >= 0 && value <= maximum;
}

bool ParseListen(std::string_view text, ServerOptions& options) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string_view::npos || colon == 0) return false;
  std::string_view host = text.substr(0, colon);
  if (host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  long long port = 0;
  if (host.empty() || !ParseNumber(text.substr(colon + 1), 65535, port)) return false;
  options.host = std::string(host);
  options.port = static_cast<int>(port);
  return true;
}

std::optional<FailureMode> ParseFailure(std::string_view text) {
  if (text == "refuse") return FailureMode::Refuse;
  if (text == "http500") return FailureMode::Http500;
  if (text == "nocert") return FailureMode::NoCert;
  if (text == "garbage") return FailureMode::Garbage;
  return std::nullopt;
}

}  // namespace

std::string_view ServerUsage() {
  return "usage: tramex-server --listen HOST:PORT [--key FILE.p12|FILE.pem --password PW] [--cert FILE]\n"
         "                     [--fail refuse|http500|nocert|garbage] [--delay MS]\n"
         "  PORT 0 picks a free port; the first line of output is \"listening on HOST:PORT\".\n"
         "  Without --key the demo key (" SEALRUN_DEMO_KEY_DIR "/signer.p12) is used.\n";
}

std::optional<ServerOptions> ParseServerOptions(std::span<const std::string_view> arguments, std::string& error) {
  ServerOptions options;
  bool listen = false;
  bool keyGiven = false;
  bool passwordGiven = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view name = arguments[i];
    if (i + 1 >= arguments.size()) {
      error = "missing value after " + std::string(name);
      return std::nullopt;
    }
    const std::string_view value = arguments[++i];
    if (name == "--listen") {
      if (!ParseListen(value, options)) {
        error = "--listen wants HOST:PORT, got \"" + std::string(value) + "\"";
        return std::nullopt;
      }
      listen = true;
    } else if (name == "--key") {
      options.keyFile = std::string(value);
      keyGiven = true;
    } else if (name == "--password") {
      options.password = std::string(value);
      passwordGiven = true;
    } else if (name == "--cert") {
      options.certFile = std::string(value);
    } else if (name == "--fail") {
      const std::optional<FailureMode> failure = ParseFailure(value);
      if (!failure) {
        error = "--fail wants refuse, http500, nocert or garbage, got \"" + std::string(value) + "\"";
        return std::nullopt;
      }
      options.failure = *failure;
    } else if (name == "--delay") {
      long long milliseconds = 0;
      if (!ParseNumber(value, 3'600'000, milliseconds)) {
        error = "--delay wants milliseconds (0 to 3600000), got \"" + std::string(value) + "\"";
        return std::nullopt;
      }
      options.delay = std::chrono::milliseconds(milliseconds);
    } else {
      error = "unknown option " + std::string(name);
      return std::nullopt;
    }
  }
  if (!listen) {
    error = "--listen HOST:PORT is required";
    return std::nullopt;
  }
  if (!keyGiven) {
    options.keyFile = SEALRUN_DEMO_KEY_DIR "/signer.p12";
    // The demo key's PKCS#12 is protected by its PIN.
    if (!passwordGiven) options.password = "123456";
  }
  return options;
}

}  // namespace sealrun::tramex
