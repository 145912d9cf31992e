#pragma once
// Synchronous HTTP POST, the request object's role: one request, one answer, no connection kept.
// "http://" and "https://" addresses; HTTPS checks the server's certificate against the system's roots (OpenSSL's
// default paths, so SSL_CERT_FILE applies) and the trust anchors of SEALRUN_TLS_CA_FILE, and presents the client
// certificate of SEALRUN_TLS_CLIENT_CERT / SEALRUN_TLS_CLIENT_KEY when they are set: the machine's settings, as
// a Windows client would take them from the user's certificate store, whoever makes the request.
#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sealrun::platform::net {

struct HttpPostOptions {
  // A request never waits for ever: the user-interface thread is blocked while it runs.
  std::chrono::milliseconds connectTimeout{10'000};
  // Per read or write of the socket.
  std::chrono::milliseconds ioTimeout{30'000};
  // For the whole exchange, connection included: a server that trickles its answer a byte at a time never
  // trips the per-read time-out, so the exchange is cut off here.
  std::chrono::milliseconds totalTimeout{60'000};
  // A larger answer is cut off and the exchange fails.
  std::size_t maxAnswerBytes = 1 << 20;
};

enum class HttpFailure {
  None,
  BadAddress,     // not an http:// or https:// address with a host
  Connection,     // no connection, refused, name not resolved, TLS handshake or certificate failure
  Timeout,        // connect, read or whole-exchange time-out
  Transfer,       // the connection broke during the exchange
  TooLarge,       // the answer exceeded maxAnswerBytes
};

struct HttpAnswer {
  HttpFailure failure = HttpFailure::None;
  int status = 0;          // the HTTP status when an answer arrived
  std::string body;        // the answer body (whatever the status)
  std::string failureText; // for traces
};

inline constexpr char kClientCertificateVariable[] = "SEALRUN_TLS_CLIENT_CERT";  // PEM certificate (and chain)
inline constexpr char kClientKeyVariable[] = "SEALRUN_TLS_CLIENT_KEY";  // PEM key; the certificate file when unset
inline constexpr char kTrustAnchorsVariable[] = "SEALRUN_TLS_CA_FILE";  // PEM certificates trusted besides the system's

struct ClientTlsSettings {
  std::string certificateFile;  // empty: no client certificate
  std::string keyFile;
  std::string caFile;  // empty: the system's roots only
};
// What the environment configures, read at each request.
ClientTlsSettings ClientTlsSettingsFromEnvironment();

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

// Parts of an address: scheme ("http" or "https"), host (brackets removed from an IPv6 literal), port
// (the scheme's default when absent) and the path with its query ("/" when absent). False when the address
// does not have that form.
struct HttpAddress {
  std::string scheme;
  std::string host;
  int port = 0;
  std::string target;
};
bool ParseHttpAddress(std::string_view url, HttpAddress& address);

// Posts the body with the headers in the given order. Never throws.
HttpAnswer HttpPost(std::string_view url, std::string_view body, const HttpHeaders& headers,
                    const HttpPostOptions& options = {});

}  // namespace sealrun::platform::net
