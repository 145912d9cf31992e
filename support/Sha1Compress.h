#pragma once
// The SHA-1 compression function over whole 64-byte blocks. A portable version, and one on the CPU's SHA
// instructions where the processor has them (x86 SHA extensions), chosen at run time.
#include <array>
#include <cstddef>
#include <cstdint>

namespace sealrun::support {

// The fastest compression this processor runs.
void Sha1Compress(std::array<std::uint32_t, 5>& state, const std::uint8_t* blocks, std::size_t blockCount);

// Both versions, so they can be checked against each other.
void Sha1CompressPortable(std::array<std::uint32_t, 5>& state, const std::uint8_t* blocks, std::size_t blockCount);
// Falls back to the portable version when the processor has no SHA instructions.
void Sha1CompressHardware(std::array<std::uint32_t, 5>& state, const std::uint8_t* blocks, std::size_t blockCount);
bool Sha1HasHardwareCompress();

}  // namespace sealrun::support
