#pragma once
// The local host's IPv4 address as a signature record names it.
#include <string>

namespace sealrun::platform::net {

// The local host name resolved to its first IPv4 address, in dotted form ("192.168.1.20"); empty when the
// name cannot be resolved or has no IPv4 address.
std::string LocalIPv4Address();

}  // namespace sealrun::platform::net
