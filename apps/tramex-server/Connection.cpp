#include "apps/tramex-server/Connection.h"

#include <openssl/err.h>
#include <openssl/x509.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

namespace sealrun::tramex {
namespace {

struct X509Deleter {
  void operator()(X509* certificate) const { X509_free(certificate); }
};

constexpr std::size_t kReadChunk = 16 * 1024;
// How long, and how much, a closing connection keeps reading what the peer still sends.
constexpr std::chrono::milliseconds kLingerTime{1000};
constexpr std::size_t kLingerBytes = 1 << 20;

std::string TlsReason() {
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code == 0) return "TLS handshake failed";
  char text[256] = {};
  ERR_error_string_n(code, text, sizeof text);
  return text;
}

}  // namespace

Connection::Connection(UniqueFd socket, SSL_CTX* tls, int stopFd) : socket_(std::move(socket)), stopFd_(stopFd) {
  if (tls != nullptr) {
    ssl_.reset(SSL_new(tls));
    if (ssl_) SSL_set_fd(ssl_.get(), socket_.Get());
  }
  if (tls == nullptr) established_ = true;
}

Connection::~Connection() { CloseGracefully(); }

IoResult Connection::Wait(short events, Deadline deadline, Watch watch) const {
  pollfd fds[2] = {{socket_.Get(), events, 0}, {stopFd_, POLLIN, 0}};
  const nfds_t count = watch == Watch::Stop && stopFd_ >= 0 ? 2 : 1;
  while (true) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return IoResult::TimedOut;
    const int ready = ::poll(fds, count, static_cast<int>(std::min<long long>(left.count(), 60'000)));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return IoResult::Failed;
    if (ready == 0) continue;  // the loop head decides whether the deadline has passed
    if (count == 2 && (fds[1].revents & POLLIN) != 0) return IoResult::Stopped;
    return IoResult::Done;  // readable, writable, or an error the next call reports
  }
}

IoResult Connection::ContinueTls(int result, short& events) {
  switch (SSL_get_error(ssl_.get(), result)) {
    case SSL_ERROR_WANT_READ: events = POLLIN; return IoResult::Done;
    case SSL_ERROR_WANT_WRITE: events = POLLOUT; return IoResult::Done;
    case SSL_ERROR_ZERO_RETURN: return IoResult::Closed;
    case SSL_ERROR_SYSCALL:
      ERR_clear_error();
      failure_ = "the connection broke";
      return IoResult::Closed;
    default: failure_ = TlsReason(); return IoResult::Failed;
  }
}

IoResult Connection::Handshake(Deadline deadline) {
  if (established_) return IoResult::Done;
  if (!ssl_) {
    failure_ = "no TLS state for the connection";
    return IoResult::Failed;
  }
  ERR_clear_error();
  while (true) {
    const int result = SSL_accept(ssl_.get());
    if (result == 1) {
      established_ = true;
      return IoResult::Done;
    }
    short events = 0;
    if (const IoResult next = ContinueTls(result, events); next != IoResult::Done) {
      if (failure_.empty()) failure_ = "the client left during the TLS handshake";
      return next;
    }
    if (const IoResult waited = Wait(events, deadline, Watch::Stop); waited != IoResult::Done) return waited;
  }
}

IoResult Connection::ReadSome(std::string& into, std::size_t limit, Deadline deadline) {
  char chunk[kReadChunk];
  const std::size_t wanted = std::min(limit, sizeof chunk);
  if (wanted == 0) return IoResult::Done;
  while (true) {
    short events = POLLIN;
    if (ssl_) {
      std::size_t got = 0;
      const int result = SSL_read_ex(ssl_.get(), chunk, wanted, &got);
      if (result == 1) {
        into.append(chunk, got);
        return IoResult::Done;
      }
      if (const IoResult next = ContinueTls(result, events); next != IoResult::Done) return next;
    } else {
      const ssize_t got = ::recv(socket_.Get(), chunk, wanted, 0);
      if (got > 0) {
        into.append(chunk, static_cast<std::size_t>(got));
        return IoResult::Done;
      }
      if (got == 0) return IoResult::Closed;
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return IoResult::Failed;
    }
    if (const IoResult waited = Wait(events, deadline, Watch::Stop); waited != IoResult::Done) return waited;
  }
}

IoResult Connection::WriteAll(std::string_view bytes, Deadline deadline) {
  while (!bytes.empty()) {
    short events = POLLOUT;
    if (ssl_) {
      std::size_t sent = 0;
      const int result = SSL_write_ex(ssl_.get(), bytes.data(), bytes.size(), &sent);
      if (result == 1) {
        bytes.remove_prefix(sent);
        continue;
      }
      if (const IoResult next = ContinueTls(result, events); next != IoResult::Done) return next;
    } else {
      const ssize_t sent = ::send(socket_.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (sent > 0) {
        bytes.remove_prefix(static_cast<std::size_t>(sent));
        continue;
      }
      if (sent < 0 && errno == EINTR) continue;
      if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return IoResult::Failed;
    }
    if (const IoResult waited = Wait(events, deadline, Watch::Ignore); waited != IoResult::Done) return waited;
  }
  return IoResult::Done;
}

std::string Connection::PeerCertificateSha256() const {
  if (!ssl_ || !established_) return {};
  const std::unique_ptr<X509, X509Deleter> certificate(SSL_get1_peer_certificate(ssl_.get()));
  if (!certificate || SSL_get_verify_result(ssl_.get()) != X509_V_OK) return {};
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (X509_digest(certificate.get(), EVP_sha256(), digest, &length) != 1) return {};
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 0x0F];
  }
  return hex;
}

void Connection::CloseGracefully() {
  if (!socket_) return;
  // Best effort: a close_notify that does not fit in the socket now is not waited for.
  if (ssl_ && established_) SSL_shutdown(ssl_.get());
  ERR_clear_error();
  ::shutdown(socket_.Get(), SHUT_WR);
  const Deadline deadline = Clock::now() + kLingerTime;
  std::size_t dropped = 0;
  char chunk[kReadChunk];
  while (dropped < kLingerBytes) {
    const ssize_t got = ::recv(socket_.Get(), chunk, sizeof chunk, 0);
    if (got > 0) {
      dropped += static_cast<std::size_t>(got);
      continue;
    }
    if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) break;
    if (Wait(POLLIN, deadline, Watch::Ignore) != IoResult::Done) break;
  }
  socket_.Reset();
}

}  // namespace sealrun::tramex
