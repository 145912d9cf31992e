#pragma once
// The server's log: one logfmt line (`key=value`, no colours) per request or event on standard error, so
// that journald and log tools read it field by field. Values with spaces or quotes are quoted; bytes outside
// printable ASCII are written as \xNN, so a client cannot forge lines or fields.
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sealrun::tramex {

struct RequestRecord {
  std::string clientAddress = "-";  // HOST:PORT
  std::string clientName = "-";
  std::string method = "-";
  std::string path = "-";
  std::size_t bytes = 0;  // of the request body read
  std::string kind = "-";
  std::string keySerial = "-";
  int httpStatus = 0;  // 0: no answer was sent
  std::string tramexStatus = "-";
  std::chrono::milliseconds duration{0};
  std::string reason;  // why the request was refused or cut; empty when it was served
};

using LogFields = std::vector<std::pair<std::string, std::string>>;

// A logfmt value: as it is when it needs no quoting, else quoted and escaped.
std::string LogValue(std::string_view text);
std::string FormatRequestLine(const RequestRecord& record);
std::string FormatEventLine(std::string_view event, const LogFields& fields);

// Whole lines, written one at a time from any thread.
class RequestLog {
 public:
  explicit RequestLog(std::FILE* stream) : stream_(stream) {}
  void Write(const std::string& line);

 private:
  std::mutex mutex_;
  std::FILE* stream_;
};

}  // namespace sealrun::tramex
