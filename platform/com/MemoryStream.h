#pragma once
// A growable stream over memory, the CreateStreamOnHGlobal of the system: reads past the end return what
// is there, writes past the end grow the stream (a gap reads as zeros), seeking before the start fails
// with STG_E_INVALIDFUNCTION, Commit and Revert do nothing, Clone shares the bytes with its own position.
#include <cstdint>
#include <span>
#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/com/Stream.h"

namespace sealrun::platform::com {

// A new empty stream, or a stream holding a copy of `initial` positioned at its start.
HRESULT CreateMemoryStream(std::span<const uint8_t> initial, IStream** stream);
// The Windows signature; only a null memory handle (a new, empty stream) is supported here.
HRESULT CreateStreamOnHGlobal(void* memory, BOOL deleteOnRelease, IStream** stream);
// Every byte of any stream, read from its start; the seek position is restored.
HRESULT ReadWholeStream(IStream* stream, std::vector<uint8_t>& bytes);

}  // namespace sealrun::platform::com
