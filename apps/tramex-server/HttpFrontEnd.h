#pragma once
// The network side of tramex-server: a listening socket, plain HTTP or HTTPS, one request per connection
// served by a bounded set of worker threads (RequestHandler), connections over the limit turned away at once,
// and an orderly stop on SIGINT or SIGTERM: no new connections, requests in flight finished or cut within a
// few seconds, exit code 0.
#include <cstdio>

#include "apps/tramex-server/ServerOptions.h"
#include "apps/tramex-server/TramexService.h"

namespace sealrun::tramex {

// Prints "listening on HOST:PORT" (the port actually bound) as the first line of `out`, and the log to `log`.
// Returns the process exit code.
int RunHttpServer(const ServerOptions& options, const TramexService& service, std::FILE* out, std::FILE* log);

}  // namespace sealrun::tramex
