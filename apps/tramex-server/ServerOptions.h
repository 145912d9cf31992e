#pragma once
// What tramex-server is told to do: the configuration file (ConfigFile.h), then the command line over it.
//   tramex-server [--config FILE] [--listen HOST:PORT] [--key FILE|pkcs11:... --password-file FILE] [--cert FILE]
//                 [--tls-cert FILE --tls-key FILE [--tls-client-ca FILE]] [--max-connections N]
//                 [--header-timeout DURATION] [--body-timeout DURATION]
//                 [--fail refuse|http500|nocert|garbage] [--delay MS]
#include <chrono>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sealrun::tramex {

// How the server misbehaves on purpose, for trying out clients.
enum class FailureMode {
  None,
  Refuse,   // signing requests answered with STATUS "REFUSED"
  Http500,  // every request answered with HTTP 500 (the body still a well-formed OK packet)
  NoCert,   // STATUS "OK" and a signature, but no CERTCONTEXT
  Garbage,  // STATUS "OK", the certificate, and random bytes in place of the signature
};

// The environment variable the signing key's password may come from.
inline constexpr char kPasswordVariable[] = "TRAMEX_KEY_PASSWORD";

// One client allowed to use the server: known by a TLS client certificate, a bearer token, or both.
struct ClientEntry {
  std::string name;
  std::string tokenSha256;        // lower-case hex of SHA-256 over the token; empty: no token
  std::string certificateSha256;  // lower-case hex of SHA-256 over the certificate's DER; empty: no certificate
  std::vector<std::string> keySerials;  // the KEYSN values it may have signed
};

struct ServerOptions {
  std::string host;
  int port = -1;  // 0: any free port; -1: not given

  // HTTPS when both are given, plain HTTP otherwise.
  std::string tlsCertFile;
  std::string tlsKeyFile;
  std::string tlsClientCaFile;  // client certificates are asked for and checked against it

  std::string keyFile;   // PKCS#12 or PEM file (or a key name LoadSigningIdentity understands)
  std::string password;  // resolved from the sources below by ResolveKeyPassword
  std::string passwordFile;
  std::string certFile;  // PEM or DER certificate, for a PEM key file without one

  int maxConnections = 32;
  std::chrono::milliseconds headerTimeout{10'000};  // TLS handshake, request line and headers
  std::chrono::milliseconds bodyTimeout{10'000};

  std::vector<ClientEntry> clients;  // none: every request is served without authentication

  FailureMode failure = FailureMode::None;
  std::chrono::milliseconds delay{0};

  std::vector<std::string> warnings;  // for the log, once it is open
};

// The options, or nullopt with a message for the user in `error`. `--config FILE` is read first wherever it
// stands; the other options override what it says. Without a key the demo key's PKCS#12 and its PIN are used.
std::optional<ServerOptions> ParseServerOptions(std::span<const std::string_view> arguments, std::string& error);

// "10s", "500ms" or "2m" (a number and a unit), or nullopt.
std::optional<std::chrono::milliseconds> ParseDuration(std::string_view text);
// "HOST:PORT" or "[V6]:PORT"; false when the text has another form.
bool ParseListenAddress(std::string_view text, std::string& host, int& port);

std::string ServerUsage();

}  // namespace sealrun::tramex
