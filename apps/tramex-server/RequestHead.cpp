#include "apps/tramex-server/RequestHead.h"

#include <charconv>

namespace sealrun::tramex {
namespace {

bool IsTokenCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string_view TrimSpaces(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::nullopt_t Refuse(HeadRefusal& refusal, int status, std::string reason) {
  refusal.httpStatus = status;
  refusal.reason = std::move(reason);
  return std::nullopt;
}

bool ParseRequestLine(std::string_view line, RequestHead& head, HeadRefusal& refusal) {
  const std::size_t first = line.find(' ');
  const std::size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
  if (second == std::string_view::npos || line.find(' ', second + 1) != std::string_view::npos) {
    Refuse(refusal, 400, "malformed request line");
    return false;
  }
  const std::string_view method = line.substr(0, first);
  const std::string_view target = line.substr(first + 1, second - first - 1);
  const std::string_view version = line.substr(second + 1);
  if (method.empty() || target.empty()) {
    Refuse(refusal, 400, "malformed request line");
    return false;
  }
  for (const char c : method) {
    if (!IsTokenCharacter(c)) {
      Refuse(refusal, 400, "malformed method");
      return false;
    }
  }
  for (const char c : target) {
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) {
      Refuse(refusal, 400, "malformed target");
      return false;
    }
  }
  if (version != "HTTP/1.1" && version != "HTTP/1.0") {
    Refuse(refusal, version.rfind("HTTP/", 0) == 0 ? 505 : 400, "unsupported HTTP version");
    return false;
  }
  head.method = std::string(method);
  head.target = std::string(target);
  return true;
}

}  // namespace

std::optional<RequestHead> ParseRequestHead(std::string_view text, HeadRefusal& refusal) {
  if (text.size() > kMaxHeadBytes) return Refuse(refusal, 431, "request head too large");
  RequestHead head;
  bool firstLine = true;
  while (!text.empty()) {
    const std::size_t end = text.find("\r\n");
    if (end == std::string_view::npos) return Refuse(refusal, 400, "a head line does not end with CRLF");
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 2);
    if (firstLine) {
      if (!ParseRequestLine(line, head, refusal)) return std::nullopt;
      firstLine = false;
      continue;
    }
    if (line.empty()) break;  // the blank line that ends the head
    if (line.front() == ' ' || line.front() == '\t') return Refuse(refusal, 400, "folded header line");
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) return Refuse(refusal, 400, "malformed header line");
    const std::string_view name = line.substr(0, colon);
    for (const char c : name) {
      if (!IsTokenCharacter(c)) return Refuse(refusal, 400, "malformed header name");
    }
    const std::string_view value = TrimSpaces(line.substr(colon + 1));
    if (EqualsIgnoringCase(name, "Content-Length")) {
      std::size_t length = 0;
      const auto [stop, error] = std::from_chars(value.data(), value.data() + value.size(), length);
      if (value.empty() || error != std::errc{} || stop != value.data() + value.size())
        return Refuse(refusal, 400, "malformed Content-Length");
      if (head.contentLength && *head.contentLength != length) return Refuse(refusal, 400, "conflicting Content-Length");
      head.contentLength = length;
    } else if (EqualsIgnoringCase(name, "Transfer-Encoding")) {
      head.hasTransferEncoding = true;
    } else if (EqualsIgnoringCase(name, "Authorization")) {
      constexpr std::string_view kScheme = "Bearer ";
      if (value.size() > kScheme.size() && EqualsIgnoringCase(value.substr(0, kScheme.size()), kScheme))
        head.bearerToken = std::string(TrimSpaces(value.substr(kScheme.size())));
    }
  }
  if (firstLine) return Refuse(refusal, 400, "empty request");
  return head;
}

}  // namespace sealrun::tramex
