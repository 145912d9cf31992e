// The local IPv4 address against what the system resolver tool reports for this host.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "platform/net/LocalAddress.h"
#include "tests/testsupport/ToolRun.h"

namespace sealrun::platform::net {
namespace {

std::string FirstResolvedAddress() {
  char host[HOST_NAME_MAX + 1] = {};
  if (gethostname(host, sizeof host - 1) != 0) return {};
  const std::string output =
      sealrun::testing::RunProgram("getent", {"ahostsv4", host}, sealrun::testing::ErrorStream::Apart).output;
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
