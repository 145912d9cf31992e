#include "platform/crypto/TokenUri.h"

#include <optional>
#include <set>

namespace sealrun::platform::crypto {
namespace {

constexpr std::string_view kScheme = "pkcs11:";

Error Invalid(std::string message) { return Error{ErrorCode::InvalidInput, std::move(message)}; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> PercentDecoded(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = HexValue(text[i + 1]);
    const int low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

// Calls `take(name, value)` for each name=value of a list split at `separator`; false at a malformed one.
template <typename Take>
bool ForEachAttribute(std::string_view list, char separator, Take take) {
  while (!list.empty()) {
    const std::size_t end = list.find(separator);
    const std::string_view item = list.substr(0, end);
    list = end == std::string_view::npos ? std::string_view() : list.substr(end + 1);
    const std::size_t equals = item.find('=');
    if (equals == std::string_view::npos || equals == 0) return false;
    if (!take(item.substr(0, equals), item.substr(equals + 1))) return false;
  }
  return true;
}

}  // namespace

Result<TokenUri> ParseTokenUri(std::string_view uri) {
  if (uri.size() < kScheme.size() || uri.substr(0, kScheme.size()) != kScheme)
    return Invalid("a token key is named by a URI that starts with \"pkcs11:\"");
  std::string_view rest = uri.substr(kScheme.size());
  std::string_view query;
  if (const std::size_t mark = rest.find('?'); mark != std::string_view::npos) {
    query = rest.substr(mark + 1);
    rest = rest.substr(0, mark);
  }

  TokenUri parsed;
  std::set<std::string, std::less<>> seen;
  std::string problem;
  const auto take = [&](std::string_view name, std::string_view encoded) {
    if (!seen.emplace(name).second) {
      problem = "the attribute \"" + std::string(name) + "\" is given twice";
      return false;
    }
    const std::optional<std::string> value = PercentDecoded(encoded);
    if (!value) {
      problem = "the attribute \"" + std::string(name) + "\" has a broken percent escape";
      return false;
    }
    if (name == "token") {
      parsed.token = *value;
    } else if (name == "serial") {
      parsed.serial = *value;
    } else if (name == "manufacturer") {
      parsed.manufacturer = *value;
    } else if (name == "model") {
      parsed.model = *value;
    } else if (name == "object") {
      parsed.object = *value;
    } else if (name == "id") {
      parsed.id.assign(value->begin(), value->end());
    } else if (name == "type") {
      if (*value != "private" && *value != "cert") {
        problem = "a seal key names its private key or its certificate, not a \"" + *value + "\" object";
        return false;
      }
    } else if (name == "module-path") {
      parsed.modulePath = *value;
    } else if (name == "pin-value" || name == "pin-source") {
      problem = "a token key's URI must not hold its PIN";
      return false;
    } else {
      problem = "the attribute \"" + std::string(name) + "\" is not understood";
      return false;
    }
    return true;
  };
  if (!ForEachAttribute(rest, ';', take) || !ForEachAttribute(query, '&', take))
    return Invalid(problem.empty() ? "the token key's URI is malformed" : problem);
  if (!parsed.modulePath.empty() && parsed.modulePath.front() != '/')
    return Invalid("the token module must be named by an absolute path");
  return parsed;
}

}  // namespace sealrun::platform::crypto
