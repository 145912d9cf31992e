#include "apps/tramex-server/HttpFrontEnd.h"

#include <httplib.h>
#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <ctime>
#include <mutex>
#include <thread>

namespace sealrun::tramex {
namespace {

constexpr char kRequestHeader[] = "X-Tramex-Request";
constexpr char kStatusHeader[] = "X-Tramex-Status";

std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32] = {};
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

// Keeps a request line readable whatever the client sent as its path.
std::string Printable(std::string_view text) {
  std::string out;
  for (const char c : text.substr(0, 200)) out += (c > 0x20 && c < 0x7F) ? c : '?';
  return out.empty() ? "-" : out;
}

std::string HostForDisplay(const std::string& host) {
  return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

}  // namespace

int RunHttpServer(const ServerOptions& options, const TramexService& service, std::FILE* log) {
  // Signals go to one waiting thread that stops the server; every other thread (the workers) blocks them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  httplib::Server server;
  server.set_payload_max_length(kMaxRequestBytes);
  server.set_read_timeout(std::chrono::seconds(10));
  server.set_write_timeout(std::chrono::seconds(10));
  server.set_keep_alive_max_count(16);

  std::mutex logMutex;
  server.set_logger([&](const httplib::Request& request, const httplib::Response& response) {
    const std::string requestKind = response.has_header(kRequestHeader) ? response.get_header_value(kRequestHeader) : "-";
    const std::string status = response.has_header(kStatusHeader) ? response.get_header_value(kStatusHeader) : "-";
    const std::lock_guard lock(logMutex);
    std::fprintf(log, "%s %s:%d %s %s %zuB %s HTTP %d STATUS %s\n", UtcNow().c_str(), request.remote_addr.c_str(),
                 request.remote_port, Printable(request.method).c_str(), Printable(request.path).c_str(),
                 request.body.size(), requestKind.c_str(), response.status, status.c_str());
    std::fflush(log);
  });
  server.Post(".*", [&](const httplib::Request& request, httplib::Response& response) {
    if (options.delay.count() > 0) std::this_thread::sleep_for(options.delay);
    ServiceAnswer answer = service.Handle(request.body);
    response.status = answer.httpStatus;
    response.set_header(kRequestHeader, answer.request);
    response.set_header(kStatusHeader, answer.status);
    response.set_content(std::move(answer.body), "text/plain; charset=UTF-8");
  });

  int port = options.port;
  if (port == 0) {
    port = server.bind_to_any_port(options.host);
  } else if (!server.bind_to_port(options.host, port)) {
    port = -1;
  }
  if (port <= 0) {
    std::fprintf(stderr, "tramex-server: cannot listen on %s:%d\n", options.host.c_str(), options.port);
    return 1;
  }
  {
    const std::lock_guard lock(logMutex);
    std::fprintf(log, "listening on %s:%d\n", HostForDisplay(options.host).c_str(), port);
    std::fflush(log);
  }

  std::thread stopper([&] {
    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.stop();
  });
  const bool listened = server.listen_after_bind();
  // Wake the stopper when the server ended by itself.
  if (stopper.joinable()) {
    pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
  }
  return listened ? 0 : 1;
}

}  // namespace sealrun::tramex
