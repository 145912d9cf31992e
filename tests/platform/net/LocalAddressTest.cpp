// The local IPv4 address against what the system resolver tool reports for this host.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>

#include "platform/net/LocalAddress.h"

namespace sealrun::platform::net {
namespace {

std::string FirstResolvedAddress() {
  char host[HOST_NAME_MAX + 1] = {};
  if (gethostname(host, sizeof host - 1) != 0) return {};
  std::string output;
  const std::string command = "getent ahostsv4 '" + std::string(host) + "' 2>/dev/null";
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char line[256];
    if (fgets(line, sizeof line, pipe) != nullptr) output = line;
    pclose(pipe);
  }
  return output.substr(0, output.find_first_of(" \t\n"));
}

TEST(LocalIPv4Address, DottedFirstAddressOfTheHostName) {
  const std::string address = LocalIPv4Address();
  EXPECT_EQ(address, FirstResolvedAddress());
  if (!address.empty()) {
    in_addr parsed{};
    EXPECT_EQ(inet_pton(AF_INET, address.c_str(), &parsed), 1) << address;
  }
}

}  // namespace
}  // namespace sealrun::platform::net
