#include "apps/tramex-server/RequestLog.h"

#include <ctime>

namespace sealrun::tramex {
namespace {

std::string UtcNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto milliseconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[40] = {};
  const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  std::snprintf(text + length, sizeof text - length, ".%03dZ", static_cast<int>(milliseconds));
  return text;
}

void Append(std::string& line, std::string_view key, std::string_view value) {
  if (!line.empty()) line += ' ';
  line += key;
  line += '=';
  line += LogValue(value);
}

}  // namespace

std::string LogValue(std::string_view text) {
  constexpr std::size_t kMaxValue = 256;
  bool quote = text.empty();
  std::string escaped;
  for (const char c : text.substr(0, kMaxValue)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7F) {
      static constexpr char kHex[] = "0123456789abcdef";
      escaped += "\\x";
      escaped += kHex[byte >> 4];
      escaped += kHex[byte & 0x0F];
      quote = true;
    } else if (c == '"' || c == '\\') {
      escaped += '\\';
      escaped += c;
      quote = true;
    } else {
      if (c == ' ' || c == '=') quote = true;
      escaped += c;
    }
  }
  if (text.size() > kMaxValue) escaped += "...";
  return quote ? "\"" + escaped + "\"" : escaped;
}

std::string FormatRequestLine(const RequestRecord& record) {
  std::string line;
  Append(line, "time", UtcNow());
  Append(line, "event", "request");
  Append(line, "client_addr", record.clientAddress);
  Append(line, "client", record.clientName);
  Append(line, "method", record.method);
  Append(line, "path", record.path);
  Append(line, "bytes", std::to_string(record.bytes));
  Append(line, "kind", record.kind);
  Append(line, "keysn", record.keySerial.empty() ? "-" : record.keySerial);
  Append(line, "http", record.httpStatus == 0 ? "-" : std::to_string(record.httpStatus));
  Append(line, "status", record.tramexStatus);
  Append(line, "duration_ms", std::to_string(record.duration.count()));
  if (!record.reason.empty()) Append(line, "reason", record.reason);
  return line;
}

std::string FormatEventLine(std::string_view event, const LogFields& fields) {
  std::string line;
  Append(line, "time", UtcNow());
  Append(line, "event", event);
  for (const auto& [key, value] : fields) Append(line, key, value);
  return line;
}

void RequestLog::Write(const std::string& line) {
  const std::lock_guard lock(mutex_);
  std::fprintf(stream_, "%s\n", line.c_str());
  std::fflush(stream_);
}

}  // namespace sealrun::tramex
