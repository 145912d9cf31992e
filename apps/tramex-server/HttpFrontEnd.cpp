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
constexpr char kBytesHeader[] = "X-Tramex-Bytes";  // the body's size, for the log

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
  // One request per connection, as the system's clients make them: a refused request's unread body then
  // goes with its connection.
  server.set_keep_alive_max_count(1);

  // The request bound only applies to a body whose Content-Length is stated: a chunked body, or one running
  // to the end of the connection, would be read whole into memory first. Such requests are refused on their
  // headers, and the unread body closes with the connection.
  server.set_pre_routing_handler([](const httplib::Request& request, httplib::Response& response) {
    if (request.method != "POST" || (request.has_header("Content-Length") && !request.has_header("Transfer-Encoding")))
      return httplib::Server::HandlerResponse::Unhandled;
    response.status = 411;
    return httplib::Server::HandlerResponse::Handled;
  });

  std::mutex logMutex;
  server.set_logger([&](const httplib::Request& request, const httplib::Response& response) {
    const std::string requestKind = response.has_header(kRequestHeader) ? response.get_header_value(kRequestHeader) : "-";
    const std::string status = response.has_header(kStatusHeader) ? response.get_header_value(kStatusHeader) : "-";
    const std::string bytes =
        response.has_header(kBytesHeader) ? response.get_header_value(kBytesHeader) : std::to_string(request.body.size());
    const std::lock_guard lock(logMutex);
    std::fprintf(log, "%s %s:%d %s %s %sB %s HTTP %d STATUS %s\n", UtcNow().c_str(), request.remote_addr.c_str(),
                 request.remote_port, Printable(request.method).c_str(), Printable(request.path).c_str(),
                 bytes.c_str(), requestKind.c_str(), response.status, status.c_str());
    std::fflush(log);
  });
  // The body is read here, not by the library: with the clients' form content type the library would parse
  // it as form fields and refuse anything over 8 KiB, far under the request bound.
  server.Post(".*", [&](const httplib::Request&, httplib::Response& response, const httplib::ContentReader& content) {
    std::string body;
    bool tooLarge = false;
    const bool read = content([&](const char* data, std::size_t length) {
      tooLarge = body.size() + length > kMaxRequestBytes;
      if (!tooLarge) body.append(data, length);
      return !tooLarge;
    });
    response.set_header(kBytesHeader, std::to_string(body.size()));
    if (!read) {
      // The library has set 413 itself when the stated length was over the bound.
      if (tooLarge) response.status = 413;
      if (response.status != 413) response.status = 400;
      return;
    }
    if (options.delay.count() > 0) std::this_thread::sleep_for(options.delay);
    ServiceAnswer answer = service.Handle(body);
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
