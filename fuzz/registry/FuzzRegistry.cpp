// The registry hive parser on arbitrary file contents: a hive that parses must write back to text that
// parses to the same text again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/com/RegistryTree.h"

using sealrun::platform::com::ParseRegistry;
using sealrun::platform::com::SerializeRegistry;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto hive = ParseRegistry(text);
  if (!hive) return 0;
  const std::string written = SerializeRegistry(*hive);
  const auto again = ParseRegistry(written);
  if (!again || SerializeRegistry(*again) != written) std::abort();
  return 0;
}
