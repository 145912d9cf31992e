#include "protocol/Packet.h"

#include <array>
#include <cstdio>

#include "platform/text/CodePage.h"
#include "support/Base64.h"

namespace sealrun::protocol {
namespace {

namespace text = platform::text;

constexpr std::string_view kCrLf = "\r\n";

}  // namespace

std::string FormatPacketHeader(std::size_t bodyLength) {
  // Formatted into a zero-filled buffer of the size the protocol's peers use; the text never comes near it.
  std::array<char, 255> buffer{};
  const int written = std::snprintf(buffer.data(), buffer.size(),
                                    "TRAMEX V3.0     %zu              0               0               ", bodyLength);
  if (written <= 0) return {};
  return std::string(buffer.data());
}

std::string BuildPacket(std::span<const PacketField> fields) {
  std::string body;
  for (const PacketField& field : fields) {
    body += text::FromUtf16(field.name, text::kCpAcp);
    body += '=';
    body += support::SealInfoEncode(text::FromUtf16(field.value, text::kCpAcp));
    body += kCrLf;
  }
  return FormatPacketHeader(body.size()) + body;
}

std::u16string ReadPacketField(std::string_view answer, std::u16string_view name) {
  const std::string ansiName = text::FromUtf16(name, text::kCpAcp);
  if (ansiName.empty()) return {};
  const std::size_t found = answer.find(ansiName);
  if (found == std::string_view::npos || found == 0) return {};
  const std::size_t start = found + ansiName.size() + 1;
  if (start >= answer.size()) return {};
  const std::size_t end = answer.find(kCrLf, start);
  const std::string_view symbols = answer.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
  const std::vector<std::uint8_t> bytes = support::SealInfoDecode(symbols);
  // The decoded bytes are read as a C string: the pad symbols decode to zero bytes, which end the text.
  std::string_view value(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (const std::size_t nul = value.find('\0'); nul != std::string_view::npos) value = value.substr(0, nul);
  return text::ToUtf16(value, text::kCpAcp);
}

}  // namespace sealrun::protocol
