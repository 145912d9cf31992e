#pragma once
// TRAMEX V3.0 packets: a fixed-column text header giving the body length, then one "NAME=value" line per
// field, each value Base64 in SealInfoAlphabet over its ANSI bytes. Packets are 8-bit text in the thread's
// ANSI code page; everything the system itself writes is ASCII.
#include <span>
#include <string>
#include <string_view>

namespace sealrun::protocol {

struct PacketField {
  std::u16string name;
  std::u16string value;
};

// The header for a body of this many characters: "TRAMEX V3.0", 5 spaces, the length, 14 spaces, "0",
// 15 spaces, "0", 15 spaces (63 characters for a one-digit length).
std::string FormatPacketHeader(std::size_t bodyLength);

// Header followed by the body, fields in the given order, every line ending in CR LF.
std::string BuildPacket(std::span<const PacketField> fields);

// The first occurrence of the name anywhere in the answer (a plain substring search, so a name that also
// occurs inside an earlier name or value is found there); the value runs from one character after the name
// to the next CR LF or the end of the answer and is decoded to text. Empty when the name is absent or
// starts the answer (a packet starts with its header, never with a field).
std::u16string ReadPacketField(std::string_view answer, std::u16string_view name);

}  // namespace sealrun::protocol
