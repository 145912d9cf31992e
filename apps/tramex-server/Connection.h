#pragma once
// One accepted connection, plain or TLS, read and written with deadlines: every wait is a poll() that ends
// at the deadline, and reads also end when the server is stopping (its stop descriptor becomes readable).
// The socket is non-blocking, so no call can hold the thread past the deadline whatever the peer does.
#include <openssl/ssl.h>

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "apps/tramex-server/UniqueFd.h"

namespace sealrun::tramex {

using Clock = std::chrono::steady_clock;
using Deadline = Clock::time_point;

enum class IoResult {
  Done,
  Closed,    // the peer closed its side
  TimedOut,  // the deadline passed
  Stopped,   // the server is stopping
  Failed,    // a socket or TLS error
};

struct SslDeleter {
  void operator()(SSL* ssl) const { SSL_free(ssl); }
};

class Connection {
 public:
  // `tls` null: plain HTTP. `stopFd` turns readable when the server stops.
  Connection(UniqueFd socket, SSL_CTX* tls, int stopFd);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // The TLS handshake (nothing for plain HTTP). On failure Failure() says why.
  IoResult Handshake(Deadline deadline);
  // Waits for some bytes and appends up to `limit` of them to `into`.
  IoResult ReadSome(std::string& into, std::size_t limit, Deadline deadline);
  // Writes everything; stopping does not cut an answer short, only the deadline does.
  IoResult WriteAll(std::string_view bytes, Deadline deadline);

  // The lower-case hex SHA-256 of the client certificate's DER when the client presented one that verified;
  // empty otherwise.
  std::string PeerCertificateSha256() const;
  const std::string& Failure() const { return failure_; }

 private:
  enum class Watch { Stop, Ignore };
  IoResult Wait(short events, Deadline deadline, Watch watch) const;
  // What to wait for after an SSL call returned `result`; Failed when it cannot be continued.
  IoResult ContinueTls(int result, short& events);
  // Tells the peer nothing more comes, then reads and drops what it still sends for a short while, so
  // that the answer is not lost to a reset caused by unread bytes.
  void CloseGracefully();

  UniqueFd socket_;
  std::unique_ptr<SSL, SslDeleter> ssl_;
  int stopFd_;
  bool established_ = false;
  std::string failure_;
};

}  // namespace sealrun::tramex
