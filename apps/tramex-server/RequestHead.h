#pragma once
// The request line and headers of an HTTP/1.1 request, as far as the server needs them: the method, the
// target, how long the body is, and the credential the client offers.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace sealrun::tramex {

// A head larger than this is refused (431) before it is read any further.
inline constexpr std::size_t kMaxHeadBytes = 16 * 1024;

struct RequestHead {
  std::string method;
  std::string target;
  std::optional<std::size_t> contentLength;  // absent when not stated
  bool hasTransferEncoding = false;          // chunked or otherwise: its length is not known beforehand
  std::string bearerToken;                   // from "Authorization: Bearer ..."; empty when none
};

struct HeadRefusal {
  int httpStatus = 400;
  std::string reason;
};

// `head` runs up to and including the blank line that ends it. Either the head or why it is refused.
std::optional<RequestHead> ParseRequestHead(std::string_view head, HeadRefusal& refusal);

}  // namespace sealrun::tramex
