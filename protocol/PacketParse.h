#pragma once
// Strict reading of a whole packet, for a server that must refuse anything malformed (the system's own
// answer reading is ReadPacketField's substring rule).
#include <optional>
#include <string_view>
#include <vector>

#include "protocol/Packet.h"

namespace sealrun::protocol {

// The fields in order, or nullopt when the packet is not exactly a TRAMEX V3.0 header (with the body length
// it states) followed by "NAME=value" lines ending in CR LF, names of ASCII letters and digits, values of
// SealInfoAlphabet symbols in groups of four.
std::optional<std::vector<PacketField>> ParsePacket(std::string_view packet);

// The value of the first field of that name, or nullopt.
std::optional<std::u16string> FindField(const std::vector<PacketField>& fields, std::u16string_view name);

}  // namespace sealrun::protocol
