#pragma once
// The in-memory form of one registry hive and its text file form.
//
// File format (UTF-8, one item per line):
//   sealrun-registry 1
//   [Software\Classes\CLSID\{...}]          a key (its parents exist implicitly); [] is the hive's root
//   @=sz:text                               the default value, REG_SZ
//   "ThreadingModel"=sz:Apartment           a named value
//   "Flags"=dword:0000002a                  REG_DWORD (hex), qword: likewise, esz: REG_EXPAND_SZ
//   "Blob"=hex(3):00ff10                    any other type or content, as bytes
//   end
// Names and texts escape "%", control characters and the characters [ ] = " as %XX. A file that breaks
// any rule, or lacks the end line, is malformed as a whole.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/com/Types.h"

namespace sealrun::platform::com {

// Windows' limits: keys nest at most 512 levels and a key name has at most 255 units.
inline constexpr size_t kMaxRegistryDepth = 512;
inline constexpr size_t kMaxRegistryKeyName = 255;

struct RegistryValue {
  std::u16string name;  // as written; empty for the default value
  DWORD type = 0;
  std::string data;  // raw bytes, as RegQueryValueEx returns them
};

struct RegistryNode {
  std::u16string name;  // as written
  // Both maps are keyed by the lower-case name: names compare without case.
  std::map<std::u16string, RegistryValue> values;
  std::map<std::u16string, std::unique_ptr<RegistryNode>> children;
};

std::u16string RegistryNameKey(std::u16string_view name);

std::string SerializeRegistry(const RegistryNode& root);
// The hive, or nullopt when the text is malformed.
std::optional<RegistryNode> ParseRegistry(std::string_view text);

}  // namespace sealrun::platform::com
