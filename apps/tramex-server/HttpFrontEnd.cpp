#include "apps/tramex-server/HttpFrontEnd.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>

#include "apps/tramex-server/ClientAccess.h"
#include "apps/tramex-server/RequestHandler.h"
#include "apps/tramex-server/RequestLog.h"
#include "apps/tramex-server/TlsContext.h"
#include "apps/tramex-server/WorkerPool.h"

namespace sealrun::tramex {
namespace {

struct AddrInfoDeleter {
  void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

std::string HostForDisplay(const std::string& host) {
  return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

std::string PeerText(const sockaddr_storage& address) {
  char host[INET6_ADDRSTRLEN] = {};
  int port = 0;
  if (address.ss_family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(&address);
    inet_ntop(AF_INET, &v4->sin_addr, host, sizeof host);
    port = ntohs(v4->sin_port);
  } else if (address.ss_family == AF_INET6) {
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&address);
    inet_ntop(AF_INET6, &v6->sin6_addr, host, sizeof host);
    port = ntohs(v6->sin6_port);
  }
  return HostForDisplay(host) + ":" + std::to_string(port);
}

// A non-blocking listening socket on the host and port, and the port it got; an empty socket when none.
UniqueFd Listen(const std::string& host, int port, int& boundPort, std::string& error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (const int failed = getaddrinfo(host.c_str(), service.c_str(), &hints, &found); failed != 0) {
    error = gai_strerror(failed);
    return {};
  }
  const std::unique_ptr<addrinfo, AddrInfoDeleter> list(found);
  error = "no address";
  for (const addrinfo* entry = list.get(); entry != nullptr; entry = entry->ai_next) {
    UniqueFd socket(::socket(entry->ai_family, entry->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, entry->ai_protocol));
    if (!socket) continue;
    const int yes = 1;
    setsockopt(socket.Get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (::bind(socket.Get(), entry->ai_addr, entry->ai_addrlen) != 0 || ::listen(socket.Get(), 128) != 0) {
      error = std::strerror(errno);
      continue;
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    if (getsockname(socket.Get(), reinterpret_cast<sockaddr*>(&bound), &length) != 0) continue;
    boundPort = bound.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
                                            : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    return socket;
  }
  return {};
}

bool IsLoopback(const std::string& host) {
  return host == "localhost" || host == "::1" || host.rfind("127.", 0) == 0;
}

// Turns a connection over the limit away at once: a 503 when the connection is plain HTTP (written only if
// the socket takes it now), a close under TLS, where anything said would need a handshake first.
void TurnAway(AcceptedConnection& connection, bool tls, RequestLog& log) {
  RequestRecord record;
  record.clientAddress = connection.peer;
  record.reason = "connection limit reached";
  if (!tls) {
    static constexpr char kBusy[] =
        "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\nRetry-After: 1\r\n\r\n";
    if (::send(connection.socket.Get(), kBusy, sizeof kBusy - 1, MSG_NOSIGNAL) > 0) record.httpStatus = 503;
  }
  connection.socket.Reset();
  log.Write(FormatRequestLine(record));
}

}  // namespace

int RunHttpServer(const ServerOptions& options, const TramexService& service, std::FILE* out, std::FILE* logStream) {
  RequestLog log(logStream);
  // Stop signals are read from a descriptor by the accepting loop; every thread blocks them. A peer that
  // goes away while TLS writes to it must not end the process.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);
  const UniqueFd signals(signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK));
  const UniqueFd stopping(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!signals || !stopping) {
    std::fprintf(stderr, "tramex-server: cannot set up signal handling: %s\n", std::strerror(errno));
    return 1;
  }

  const bool tls = !options.tlsCertFile.empty();
  std::optional<TlsContext> tlsContext;
  if (tls) {
    std::string error;
    tlsContext = TlsContext::Create(options.tlsCertFile, options.tlsKeyFile, options.tlsClientCaFile, error);
    if (!tlsContext) {
      std::fprintf(stderr, "tramex-server: %s\n", error.c_str());
      return 2;
    }
  }
  int port = 0;
  std::string listenError;
  UniqueFd listener = Listen(options.host, options.port, port, listenError);
  if (!listener) {
    std::fprintf(stderr, "tramex-server: cannot listen on %s:%d: %s\n", options.host.c_str(), options.port,
                 listenError.c_str());
    return 1;
  }

  const ClientAccess access(options.clients);
  LogFields start = {{"listen", HostForDisplay(options.host) + ":" + std::to_string(port)},
                     {"scheme", tls ? "https" : "http"},
                     {"clients", std::to_string(access.Count())},
                     {"auth", access.Open() ? "off" : "on"},
                     {"max_connections", std::to_string(options.maxConnections)},
                     {"header_timeout_ms", std::to_string(options.headerTimeout.count())},
                     {"body_timeout_ms", std::to_string(options.bodyTimeout.count())}};
  start.emplace_back("msg", access.Open() ? "no clients configured: every request is served without authentication"
                                          : "clients must authenticate");
  log.Write(FormatEventLine("start", start));
  for (const std::string& warning : options.warnings) log.Write(FormatEventLine("warning", {{"msg", warning}}));
  if (!tls && !access.Open() && !IsLoopback(options.host))
    log.Write(FormatEventLine("warning", {{"msg", "bearer tokens travel in clear over plain HTTP; configure tls_cert"}}));
  std::fprintf(out, "listening on %s:%d\n", HostForDisplay(options.host).c_str(), port);
  std::fflush(out);

  const RequestHandler handler(options, service, access, tls ? tlsContext->Get() : nullptr, stopping.Get(), log);
  {
    WorkerPool pool(options.maxConnections, [&handler](AcceptedConnection connection) { handler.Serve(std::move(connection)); });
    while (true) {
      pollfd fds[2] = {{listener.Get(), POLLIN, 0}, {signals.Get(), POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        log.Write(FormatEventLine("error", {{"msg", std::string("poll failed: ") + std::strerror(errno)}}));
        break;
      }
      if ((fds[1].revents & POLLIN) != 0) {
        signalfd_siginfo received{};
        (void)::read(signals.Get(), &received, sizeof received);
        log.Write(FormatEventLine("stopping", {{"signal", received.ssi_signo == SIGINT ? "SIGINT" : "SIGTERM"}}));
        break;
      }
      if ((fds[0].revents & POLLIN) == 0) continue;
      while (true) {
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        UniqueFd socket(accept4(listener.Get(), reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!socket) {
          // Out of descriptors or memory: give the workers a moment to free some rather than spin.
          if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED)
            ::poll(nullptr, 0, 20);
          break;
        }
        // Answers and TLS records go out as written, not held back for the peer's delayed acknowledgement.
        const int noDelay = 1;
        setsockopt(socket.Get(), IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
        AcceptedConnection connection{std::move(socket), PeerText(peer)};
        if (!pool.TryHand(connection)) TurnAway(connection, tls, log);
      }
    }
    listener.Reset();
    // Readers in the workers see this at once; answers already being made still go out.
    const std::uint64_t one = 1;
    (void)::write(stopping.Get(), &one, sizeof one);
  }
  log.Write(FormatEventLine("stopped", {}));
  return 0;
}

}  // namespace sealrun::tramex
