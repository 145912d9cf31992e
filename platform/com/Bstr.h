#pragma once
// BSTR with the Windows semantics: a UTF-16 buffer preceded by its 4-byte byte count and followed by a
// NUL unit. A null BSTR is distinct from an empty one (both read as empty text); a BSTR may carry binary
// bytes, including an odd number of them. Allocation failure gives a null BSTR, which callers turn into
// E_OUTOFMEMORY. Buffers come from the C heap, so any module of the process may free them.
#include <span>
#include <string>
#include <string_view>

#include "platform/com/HResult.h"

namespace sealrun::platform::com {

BSTR SysAllocString(const OLECHAR* text);
// `length` units; a null `text` gives a zeroed buffer of that length.
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
// `length` bytes; a null `bytes` gives a zeroed buffer.
BSTR SysAllocStringByteLen(const char* bytes, UINT length);
// Replace *target with a copy of `text` (which may point into *target). Return TRUE (1) on success,
// 0 when memory runs out (then *target is unchanged).
INT SysReAllocString(BSTR* target, const OLECHAR* text);
INT SysReAllocStringLen(BSTR* target, const OLECHAR* text, UINT length);
void SysFreeString(BSTR text);
// Units (byte count / 2, rounded down); 0 for null.
UINT SysStringLen(BSTR text);
UINT SysStringByteLen(BSTR text);

// A new BSTR holding `text` for an out parameter (a property getter's answer): E_POINTER for a null target,
// E_OUTOFMEMORY (and a null *target) when memory runs out.
HRESULT MakeBstr(std::u16string_view text, BSTR* target);

// Owns one BSTR.
class Bstr {
 public:
  Bstr() = default;
  // Copies the text. Throws std::bad_alloc when memory runs out (use Assign to get E_OUTOFMEMORY instead).
  explicit Bstr(std::u16string_view text);
  explicit Bstr(const char16_t* text) : Bstr(text ? std::u16string_view(text) : std::u16string_view()) {}
  Bstr(const Bstr& other);
  Bstr& operator=(const Bstr& other);
  Bstr(Bstr&& other) noexcept : value_(other.Detach()) {}
  Bstr& operator=(Bstr&& other) noexcept;
  ~Bstr() { SysFreeString(value_); }

  // Binary content (byte length kept exactly).
  static Bstr FromBytes(std::span<const uint8_t> bytes);
  // Takes ownership of an existing BSTR.
  static Bstr Attach(BSTR value);

  // Replaces the content; E_OUTOFMEMORY leaves the holder unchanged.
  HRESULT Assign(std::u16string_view text);

  BSTR Get() const { return value_; }
  bool IsNull() const { return value_ == nullptr; }
  UINT Length() const { return SysStringLen(value_); }
  UINT ByteLength() const { return SysStringByteLen(value_); }
  std::u16string_view View() const { return {value_ ? value_ : u"", Length()}; }
  std::u16string ToU16String() const { return std::u16string(View()); }
  std::span<const uint8_t> Bytes() const;

  // Frees the content and gives the address for an out parameter.
  BSTR* Out();
  BSTR Detach();
  // A new BSTR with the same bytes for the caller to own (a property getter's out value); null when this
  // holder is null or memory runs out.
  BSTR Copy() const;
  HRESULT CopyTo(BSTR* target) const;

 private:
  BSTR value_ = nullptr;
};

}  // namespace sealrun::platform::com
