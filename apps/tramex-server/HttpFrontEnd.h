#pragma once
// The HTTP side of tramex-server: POST bodies to the service, one log line per request, several clients
// at once (a pool of worker threads), bodies over the request bound refused unread.
#include <cstdio>

#include "apps/tramex-server/ServerOptions.h"
#include "apps/tramex-server/TramexService.h"

namespace sealrun::tramex {

// Listens until SIGINT or SIGTERM. Prints "listening on HOST:PORT" first (the port actually bound) and a
// line per request to `log`. Returns the process exit code.
int RunHttpServer(const ServerOptions& options, const TramexService& service, std::FILE* log);

}  // namespace sealrun::tramex
