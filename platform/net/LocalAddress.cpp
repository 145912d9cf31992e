#include "platform/net/LocalAddress.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <memory>

namespace sealrun::platform::net {
namespace {

struct AddrInfoDeleter {
  void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

}  // namespace

std::string LocalIPv4Address() {
  char hostName[HOST_NAME_MAX + 1] = {};
  if (gethostname(hostName, sizeof hostName - 1) != 0) return {};
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(hostName, nullptr, &hints, &found) != 0) return {};
  const std::unique_ptr<addrinfo, AddrInfoDeleter> list(found);
  for (const addrinfo* entry = list.get(); entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family != AF_INET || entry->ai_addr == nullptr) continue;
    if (entry->ai_addrlen < sizeof(sockaddr_in)) continue;
    sockaddr_in address{};
    std::memcpy(&address, entry->ai_addr, sizeof address);
    char dotted[INET_ADDRSTRLEN] = {};
    if (inet_ntop(AF_INET, &address.sin_addr, dotted, sizeof dotted) == nullptr) continue;
    return dotted;
  }
  return {};
}

}  // namespace sealrun::platform::net
