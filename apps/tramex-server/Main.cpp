// tramex-server: a signing server for the TRAMEX protocol. See ServerOptions.h for the command line and
// tramex-server.conf.example for the configuration file.
#include <cstdio>
#include <exception>
#include <string_view>
#include <vector>

#include "apps/tramex-server/HttpFrontEnd.h"
#include "apps/tramex-server/ServerOptions.h"
#include "apps/tramex-server/SigningIdentity.h"
#include "apps/tramex-server/TramexService.h"

int main(int argc, char** argv) {
  using namespace sealrun::tramex;
  try {
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h")) {
      std::fputs(ServerUsage().c_str(), stdout);
      return 0;
    }
    std::string error;
    const std::optional<ServerOptions> options = ParseServerOptions(arguments, error);
    if (!options) {
      std::fprintf(stderr, "tramex-server: %s\n%s", error.c_str(), ServerUsage().c_str());
      return 2;
    }
    auto identity = LoadSigningIdentity(options->keyFile, options->password, options->certFile);
    if (!identity) {
      std::fprintf(stderr, "tramex-server: %s\n", identity.GetError().message.c_str());
      return 2;
    }
    const TramexService service(std::move(*identity), options->failure);
    return RunHttpServer(*options, service, stdout, stderr);
  } catch (const std::exception& exception) {
    std::fprintf(stderr, "tramex-server: %s\n", exception.what());
    return 1;
  }
}
