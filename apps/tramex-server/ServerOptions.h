#pragma once
// The command line of tramex-server:
//   tramex-server --listen HOST:PORT [--key FILE --password PW] [--cert FILE]
//                 [--fail refuse|http500|nocert|garbage] [--delay MS]
#include <chrono>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace sealrun::tramex {

// How the server misbehaves on purpose, for trying out clients.
enum class FailureMode {
  None,
  Refuse,   // signing requests answered with STATUS "REFUSED"
  Http500,  // every request answered with HTTP 500 (the body still a well-formed OK packet)
  NoCert,   // STATUS "OK" and a signature, but no CERTCONTEXT
  Garbage,  // STATUS "OK", the certificate, and random bytes in place of the signature
};

struct ServerOptions {
  std::string host;
  int port = 0;  // 0: any free port
  std::string keyFile;   // PKCS#12 or PEM (key, and certificate unless certFile is given)
  std::string password;
  std::string certFile;  // PEM or DER certificate, for a PEM key file without one
  FailureMode failure = FailureMode::None;
  std::chrono::milliseconds delay{0};
};

// The options, or nullopt with a message for the user in `error`. The demo key's PKCS#12 and PIN are the
// default key.
std::optional<ServerOptions> ParseServerOptions(std::span<const std::string_view> arguments, std::string& error);

std::string_view ServerUsage();

}  // namespace sealrun::tramex
