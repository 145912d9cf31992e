#pragma once
// One connection, one request: the TLS handshake and the head within the header deadline, the body within the
// body deadline, the client identified and its key serial checked, the packet answered by the service, and
// one log line whatever happened. Requests without a stated length are refused (411) and bodies over the
// bound (413) without reading them.
#include <openssl/ssl.h>

#include "apps/tramex-server/ClientAccess.h"
#include "apps/tramex-server/RequestLog.h"
#include "apps/tramex-server/ServerOptions.h"
#include "apps/tramex-server/TramexService.h"
#include "apps/tramex-server/WorkerPool.h"

namespace sealrun::tramex {

class RequestHandler {
 public:
  // `tls` null: plain HTTP. `stopFd` turns readable when the server stops.
  RequestHandler(const ServerOptions& options, const TramexService& service, const ClientAccess& access, SSL_CTX* tls,
                 int stopFd, RequestLog& log)
      : options_(options), service_(service), access_(access), tls_(tls), stopFd_(stopFd), log_(log) {}

  // Never throws: a failure is logged as the request's reason.
  void Serve(AcceptedConnection connection) const;

 private:
  const ServerOptions& options_;
  const TramexService& service_;
  const ClientAccess& access_;
  SSL_CTX* tls_;
  int stopFd_;
  RequestLog& log_;
};

}  // namespace sealrun::tramex
