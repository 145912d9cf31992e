#include "apps/tramex-server/RequestHandler.h"

#include <poll.h>

#include <exception>

#include "apps/tramex-server/Connection.h"
#include "apps/tramex-server/RequestHead.h"
#include "protocol/Packet.h"
#include "protocol/TramexFields.h"

namespace sealrun::tramex {
namespace {

// An answer in flight is given this long to go out, stopping or not.
constexpr std::chrono::seconds kWriteTime{5};

std::string_view StatusText(int status) {
  switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 411: return "Length Required";
    case 413: return "Content Too Large";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    case 505: return "HTTP Version Not Supported";
    default: return "Unknown";
  }
}

std::string StatusPacket(std::u16string_view status) {
  return protocol::BuildPacket(std::vector<protocol::PacketField>{{std::u16string(protocol::kFieldStatus), std::u16string(status)}});
}

// The state of one exchange, so that every way out sends what it should and logs one line.
class Exchange {
 public:
  Exchange(Connection& connection, RequestLog& log, std::string peer) : connection_(connection), log_(log) {
    record_.clientAddress = std::move(peer);
  }
  ~Exchange() {
    record_.duration = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_);
    log_.Write(FormatRequestLine(record_));
  }
  Exchange(const Exchange&) = delete;
  Exchange& operator=(const Exchange&) = delete;

  RequestRecord& Record() { return record_; }

  void Answer(int status, std::string_view body, std::string_view extraHeaders = {}) {
    std::string message = "HTTP/1.1 " + std::to_string(status) + " " + std::string(StatusText(status)) + "\r\n";
    message += "Content-Type: text/plain; charset=UTF-8\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
    message += "Connection: close\r\n";
    message += extraHeaders;
    message += "\r\n";
    message += body;
    record_.httpStatus = status;
    if (connection_.WriteAll(message, Clock::now() + kWriteTime) != IoResult::Done && record_.reason.empty())
      record_.reason = "the answer could not be sent";
  }
  void Refuse(int status, std::string reason, std::string_view body = {}, std::string_view extraHeaders = {}) {
    record_.reason = std::move(reason);
    Answer(status, body, extraHeaders);
  }
  // Why a read ended early; the connection gets an answer when one can still be useful.
  void ReadEnded(IoResult result, std::string_view phase) {
    switch (result) {
      case IoResult::TimedOut: Refuse(408, std::string(phase) + " deadline passed"); break;
      case IoResult::Stopped: Refuse(503, "server stopping"); break;
      case IoResult::Closed: record_.reason = "client closed the connection during the " + std::string(phase); break;
      default:
        record_.reason = "read failed during the " + std::string(phase);
        if (!connection_.Failure().empty()) record_.reason += ": " + connection_.Failure();
        break;
    }
  }

 private:
  Connection& connection_;
  RequestLog& log_;
  RequestRecord record_;
  const Deadline start_ = Clock::now();
};

}  // namespace

void RequestHandler::Serve(AcceptedConnection accepted) const {
  try {
    Connection connection(std::move(accepted.socket), tls_, stopFd_);
    Exchange exchange(connection, log_, std::move(accepted.peer));
    RequestRecord& record = exchange.Record();

    const Deadline headDeadline = Clock::now() + options_.headerTimeout;
    if (const IoResult shaken = connection.Handshake(headDeadline); shaken != IoResult::Done) {
      record.reason = shaken == IoResult::TimedOut ? "header deadline passed during the TLS handshake"
                      : shaken == IoResult::Stopped ? "server stopping"
                                                    : "TLS handshake failed: " + connection.Failure();
      return;
    }

    std::string received;
    std::size_t headEnd = 0;
    while ((headEnd = received.find("\r\n\r\n")) == std::string::npos) {
      if (received.size() > kMaxHeadBytes) return exchange.Refuse(431, "request head too large");
      const IoResult read = connection.ReadSome(received, kMaxHeadBytes + 4 - received.size() + 1, headDeadline);
      if (read != IoResult::Done) {
        if (read == IoResult::Closed && received.empty()) record.reason = "closed without a request";
        else exchange.ReadEnded(read, "header");
        return;
      }
    }
    HeadRefusal refusal;
    const std::optional<RequestHead> head = ParseRequestHead(std::string_view(received).substr(0, headEnd + 4), refusal);
    if (!head) return exchange.Refuse(refusal.httpStatus, refusal.reason);
    record.method = head->method;
    record.path = head->target;
    if (head->method != "POST") return exchange.Refuse(405, "only POST is served", {}, "Allow: POST\r\n");
    // Without a stated length the body could only be read whole before the bound applied.
    if (head->hasTransferEncoding || !head->contentLength) return exchange.Refuse(411, "no Content-Length");
    if (*head->contentLength > kMaxRequestBytes) return exchange.Refuse(413, "body over the request bound");

    const ClientEntry* client = nullptr;
    if (!access_.Open()) {
      client = access_.Identify(connection.PeerCertificateSha256(), head->bearerToken);
      if (client == nullptr) {
        record.tramexStatus = "UNAUTHORIZED";
        return exchange.Refuse(401, head->bearerToken.empty() ? "no known client certificate or token" : "unknown client",
                               StatusPacket(u"UNAUTHORIZED"), "WWW-Authenticate: Bearer realm=\"tramex\"\r\n");
      }
      record.clientName = client->name;
    }

    std::string body = received.substr(headEnd + 4);
    const Deadline bodyDeadline = Clock::now() + options_.bodyTimeout;
    while (body.size() < *head->contentLength) {
      const IoResult read = connection.ReadSome(body, *head->contentLength - body.size(), bodyDeadline);
      if (read != IoResult::Done) {
        record.bytes = body.size();
        return exchange.ReadEnded(read, "body");
      }
    }
    body.resize(*head->contentLength);  // one request per connection: anything after it is not read
    record.bytes = body.size();

    const RequestSummary summary = SummariseRequest(body);
    record.kind = summary.kind;
    record.keySerial = summary.keySerial;
    if (client != nullptr && summary.kind == "SIGNCONTEXT" && !ClientAccess::MaySign(*client, summary.keySerial)) {
      record.tramexStatus = "FORBIDDEN";
      return exchange.Refuse(403, "key serial not allowed for this client", StatusPacket(u"FORBIDDEN"));
    }

    if (options_.delay.count() > 0) {
      // Waits for the delay, or less when the server stops meanwhile.
      pollfd stop{stopFd_, POLLIN, 0};
      (void)::poll(&stop, 1, static_cast<int>(options_.delay.count()));
    }
    const ServiceAnswer answer = service_.Handle(body);
    record.kind = answer.request;
    record.tramexStatus = answer.status;
    exchange.Answer(answer.httpStatus, answer.body);
  } catch (const std::exception& exception) {
    log_.Write(FormatEventLine("error", {{"msg", exception.what()}}));
  } catch (...) {
    log_.Write(FormatEventLine("error", {{"msg", "unexpected failure while serving a connection"}}));
  }
}

}  // namespace sealrun::tramex
