#include "protocol/PacketParse.h"

#include "platform/text/CodePage.h"
#include "support/Alphabets.h"
#include "support/Base64.h"

namespace sealrun::protocol {
namespace {

namespace text = platform::text;

constexpr std::string_view kHeaderStart = "TRAMEX V3.0     ";
constexpr std::string_view kHeaderRest = "              0               0               ";
// A body length this long is no request of this system.
constexpr std::size_t kMaxLengthDigits = 9;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsNameCharacter(char c) { return IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::optional<PacketField> ParseLine(std::string_view line) {
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos || equals == 0) return std::nullopt;
  const std::string_view name = line.substr(0, equals);
  const std::string_view symbols = line.substr(equals + 1);
  for (const char c : name) {
    if (!IsNameCharacter(c)) return std::nullopt;
  }
  if (symbols.size() % 4 != 0) return std::nullopt;
  for (const char c : symbols) {
    if (support::SealInfoAlphabet.Position(c) == support::Alphabet::kNotInAlphabet) return std::nullopt;
  }
  const std::vector<std::uint8_t> bytes = support::SealInfoDecode(symbols);
  std::string_view value(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  // Pads decode to zero bytes; the value text ends at the first of them.
  if (const std::size_t nul = value.find('\0'); nul != std::string_view::npos) value = value.substr(0, nul);
  return PacketField{text::ToUtf16(name, text::kCpUsAscii), text::ToUtf16(value, text::kCpAcp)};
}

}  // namespace

std::optional<std::vector<PacketField>> ParsePacket(std::string_view packet) {
  if (!packet.starts_with(kHeaderStart)) return std::nullopt;
  std::size_t position = kHeaderStart.size();
  std::size_t bodyLength = 0;
  std::size_t digits = 0;
  while (position < packet.size() && IsDigit(packet[position])) {
    if (++digits > kMaxLengthDigits) return std::nullopt;
    bodyLength = bodyLength * 10 + static_cast<std::size_t>(packet[position] - '0');
    ++position;
  }
  if (digits == 0 || (digits > 1 && packet[kHeaderStart.size()] == '0')) return std::nullopt;
  if (packet.substr(position, kHeaderRest.size()) != kHeaderRest) return std::nullopt;
  position += kHeaderRest.size();
  const std::string_view body = packet.substr(position);
  if (body.size() != bodyLength) return std::nullopt;

  std::vector<PacketField> fields;
  std::size_t start = 0;
  while (start < body.size()) {
    const std::size_t end = body.find("\r\n", start);
    if (end == std::string_view::npos) return std::nullopt;
    std::optional<PacketField> field = ParseLine(body.substr(start, end - start));
    if (!field) return std::nullopt;
    fields.push_back(std::move(*field));
    start = end + 2;
  }
  return fields;
}

std::optional<std::u16string> FindField(const std::vector<PacketField>& fields, std::u16string_view name) {
  for (const PacketField& field : fields) {
    if (field.name == name) return field.value;
  }
  return std::nullopt;
}

}  // namespace sealrun::protocol
