#include "platform/com/Bstr.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace sealrun::platform::com {
namespace {

// The header keeps the 4-byte byte count just before the text, as Windows does; the text itself starts
// 8 bytes into the block so that it stays 8-byte aligned.
constexpr size_t kHeader = 8;
constexpr size_t kMaxBytes = 0xFFFFFFFFu - kHeader - sizeof(OLECHAR);

uint32_t* LengthField(BSTR text) { return reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(text) - 4); }

BSTR AllocateBytes(const void* source, size_t bytes) {
  if (bytes > kMaxBytes) return nullptr;
  auto* block = static_cast<char*>(std::malloc(kHeader + bytes + sizeof(OLECHAR)));
  if (block == nullptr) return nullptr;
  char* data = block + kHeader;
  const auto count = static_cast<uint32_t>(bytes);
  std::memcpy(data - 4, &count, sizeof count);
  if (source != nullptr)
    std::memmove(data, source, bytes);
  else
    std::memset(data, 0, bytes);
  // The terminating NUL unit right after the content (unaligned after an odd byte count).
  data[bytes] = 0;
  data[bytes + 1] = 0;
  return reinterpret_cast<BSTR>(data);
}

}  // namespace

BSTR SysAllocString(const OLECHAR* text) {
  if (text == nullptr) return nullptr;
  return AllocateBytes(text, std::char_traits<char16_t>::length(text) * sizeof(OLECHAR));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
  if (length > kMaxBytes / sizeof(OLECHAR)) return nullptr;
  return AllocateBytes(text, size_t{length} * sizeof(OLECHAR));
}

BSTR SysAllocStringByteLen(const char* bytes, UINT length) { return AllocateBytes(bytes, length); }

INT SysReAllocStringLen(BSTR* target, const OLECHAR* text, UINT length) {
  if (target == nullptr) return 0;
  // Allocate before freeing: `text` may point into the old string.
  BSTR replacement = SysAllocStringLen(text, length);
  if (replacement == nullptr) return 0;
  SysFreeString(*target);
  *target = replacement;
  return 1;
}

INT SysReAllocString(BSTR* target, const OLECHAR* text) {
  if (target == nullptr) return 0;
  if (text == nullptr) {
    SysFreeString(*target);
    *target = nullptr;
    return 1;
  }
  return SysReAllocStringLen(target, text, static_cast<UINT>(std::char_traits<char16_t>::length(text)));
}

void SysFreeString(BSTR text) {
  if (text != nullptr) std::free(reinterpret_cast<char*>(text) - kHeader);
}

UINT SysStringByteLen(BSTR text) {
  if (text == nullptr) return 0;
  uint32_t count = 0;
  std::memcpy(&count, LengthField(text), sizeof count);
  return count;
}

UINT SysStringLen(BSTR text) { return SysStringByteLen(text) / sizeof(OLECHAR); }

HRESULT MakeBstr(std::u16string_view text, BSTR* target) {
  if (target == nullptr) return E_POINTER;
  *target = text.size() > kMaxBytes / sizeof(OLECHAR) ? nullptr
                                                      : SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *target == nullptr ? E_OUTOFMEMORY : S_OK;
}

Bstr::Bstr(std::u16string_view text) {
  if (FAILED(Assign(text))) throw std::bad_alloc();
}

Bstr::Bstr(const Bstr& other) : value_(nullptr) {
  if (other.value_ != nullptr) {
    value_ = other.Copy();
    if (value_ == nullptr) throw std::bad_alloc();
  }
}

Bstr& Bstr::operator=(const Bstr& other) {
  if (this != &other) *this = Bstr(other);
  return *this;
}

Bstr& Bstr::operator=(Bstr&& other) noexcept {
  if (this != &other) {
    SysFreeString(value_);
    value_ = other.Detach();
  }
  return *this;
}

Bstr Bstr::FromBytes(std::span<const uint8_t> bytes) {
  if (bytes.size() > kMaxBytes) throw std::bad_alloc();
  BSTR value = SysAllocStringByteLen(reinterpret_cast<const char*>(bytes.data()), static_cast<UINT>(bytes.size()));
  if (value == nullptr) throw std::bad_alloc();
  return Attach(value);
}

Bstr Bstr::Attach(BSTR value) {
  Bstr holder;
  holder.value_ = value;
  return holder;
}

HRESULT Bstr::Assign(std::u16string_view text) {
  if (text.size() > kMaxBytes / sizeof(OLECHAR)) return E_OUTOFMEMORY;
  BSTR replacement = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (replacement == nullptr) return E_OUTOFMEMORY;
  SysFreeString(value_);
  value_ = replacement;
  return S_OK;
}

std::span<const uint8_t> Bstr::Bytes() const {
  if (value_ == nullptr) return {};
  return {reinterpret_cast<const uint8_t*>(value_), ByteLength()};
}

BSTR* Bstr::Out() {
  SysFreeString(value_);
  value_ = nullptr;
  return &value_;
}

BSTR Bstr::Detach() {
  BSTR value = value_;
  value_ = nullptr;
  return value;
}

BSTR Bstr::Copy() const {
  if (value_ == nullptr) return nullptr;
  return SysAllocStringByteLen(reinterpret_cast<const char*>(value_), ByteLength());
}

HRESULT Bstr::CopyTo(BSTR* target) const {
  if (target == nullptr) return E_POINTER;
  *target = Copy();
  return (*target == nullptr && value_ != nullptr) ? E_OUTOFMEMORY : S_OK;
}

}  // namespace sealrun::platform::com
