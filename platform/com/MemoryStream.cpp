#include "platform/com/MemoryStream.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>

#include "platform/com/ComObject.h"

namespace sealrun::platform::com {
namespace {

// The bytes shared by a stream and its clones.
struct StreamBuffer {
  std::mutex mutex;
  std::vector<uint8_t> bytes;
};

// Streams over memory stay below 4 GiB, the reach of ULONG counts and of HGLOBAL on 32-bit Windows.
constexpr uint64_t kMaxStreamSize = std::numeric_limits<uint32_t>::max();

class MemoryStream final : public ComObject<MemoryStream, IStream> {
 public:
  MemoryStream(std::shared_ptr<StreamBuffer> buffer, uint64_t position)
      : buffer_(std::move(buffer)), position_(position) {}

  HRESULT Read(void* target, ULONG size, ULONG* read) override {
    if (read) *read = 0;
    if (target == nullptr && size > 0) return STG_E_INVALIDPOINTER;
    std::lock_guard lock(buffer_->mutex);
    const uint64_t length = buffer_->bytes.size();
    const uint64_t available = position_ < length ? length - position_ : 0;
    const auto count = static_cast<ULONG>(std::min<uint64_t>(size, available));
    if (count > 0) std::memcpy(target, buffer_->bytes.data() + position_, count);
    position_ += count;
    if (read) *read = count;
    return S_OK;
  }

  HRESULT Write(const void* source, ULONG size, ULONG* written) override {
    if (written) *written = 0;
    if (source == nullptr && size > 0) return STG_E_INVALIDPOINTER;
    if (size == 0) return S_OK;
    std::lock_guard lock(buffer_->mutex);
    const uint64_t end = position_ + size;
    if (end > kMaxStreamSize) return STG_E_MEDIUMFULL;
    try {
      if (end > buffer_->bytes.size()) buffer_->bytes.resize(end);
    } catch (const std::bad_alloc&) {
      return STG_E_MEDIUMFULL;
    }
    std::memcpy(buffer_->bytes.data() + position_, source, size);
    position_ = end;
    if (written) *written = size;
    return S_OK;
  }

  HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override {
    std::lock_guard lock(buffer_->mutex);
    int64_t base = 0;
    switch (origin) {
      case STREAM_SEEK_SET: base = 0; break;
      case STREAM_SEEK_CUR: base = static_cast<int64_t>(position_); break;
      case STREAM_SEEK_END: base = static_cast<int64_t>(buffer_->bytes.size()); break;
      default: return STG_E_INVALIDFUNCTION;
    }
    const int64_t offset = move.QuadPart;
    if ((offset < 0 && base + offset < 0) || (offset > 0 && offset > static_cast<int64_t>(kMaxStreamSize) - base))
      return STG_E_INVALIDFUNCTION;
    position_ = static_cast<uint64_t>(base + offset);
    if (newPosition) newPosition->QuadPart = position_;
    return S_OK;
  }

  HRESULT SetSize(ULARGE_INTEGER size) override {
    if (size.QuadPart > kMaxStreamSize) return STG_E_MEDIUMFULL;
    std::lock_guard lock(buffer_->mutex);
    try {
      buffer_->bytes.resize(size.QuadPart);
    } catch (const std::bad_alloc&) {
      return STG_E_MEDIUMFULL;
    }
    return S_OK;
  }

  HRESULT CopyTo(IStream* target, ULARGE_INTEGER size, ULARGE_INTEGER* read, ULARGE_INTEGER* written) override {
    if (read) read->QuadPart = 0;
    if (written) written->QuadPart = 0;
    if (target == nullptr) return STG_E_INVALIDPOINTER;
    uint8_t chunk[65536];
    uint64_t remaining = size.QuadPart;
    while (remaining > 0) {
      ULONG got = 0;
      if (const HRESULT hr = Read(chunk, static_cast<ULONG>(std::min<uint64_t>(remaining, sizeof chunk)), &got);
          FAILED(hr))
        return hr;
      if (got == 0) break;
      if (read) read->QuadPart += got;
      ULONG put = 0;
      const HRESULT hr = target->Write(chunk, got, &put);
      if (written) written->QuadPart += put;
      if (FAILED(hr)) return hr;
      remaining -= got;
    }
    return S_OK;
  }

  HRESULT Commit(DWORD /*flags*/) override { return S_OK; }
  HRESULT Revert() override { return S_OK; }
  HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
  HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }

  HRESULT Stat(STATSTG* statistics, DWORD flags) override {
    if (statistics == nullptr) return STG_E_INVALIDPOINTER;
    if (flags != STATFLAG_DEFAULT && flags != STATFLAG_NONAME) return STG_E_INVALIDFUNCTION;
    std::memset(statistics, 0, sizeof *statistics);
    statistics->type = STGTY_STREAM;
    std::lock_guard lock(buffer_->mutex);
    statistics->cbSize.QuadPart = buffer_->bytes.size();
    return S_OK;
  }

  HRESULT Clone(IStream** copy) override {
    if (copy == nullptr) return STG_E_INVALIDPOINTER;
    *copy = nullptr;
    uint64_t position = 0;
    {
      std::lock_guard lock(buffer_->mutex);
      position = position_;
    }
    return MemoryStream::CreateObject(nullptr, IID_IStream, reinterpret_cast<void**>(copy), buffer_, position);
  }

 private:
  std::shared_ptr<StreamBuffer> buffer_;
  uint64_t position_;
};

}  // namespace

HRESULT CreateMemoryStream(std::span<const uint8_t> initial, IStream** stream) {
  if (stream == nullptr) return E_POINTER;
  *stream = nullptr;
  if (initial.size() > kMaxStreamSize) return E_OUTOFMEMORY;
  std::shared_ptr<StreamBuffer> buffer;
  try {
    buffer = std::make_shared<StreamBuffer>();
    buffer->bytes.assign(initial.begin(), initial.end());
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return MemoryStream::CreateObject(nullptr, IID_IStream, reinterpret_cast<void**>(stream), std::move(buffer),
                                    uint64_t{0});
}

HRESULT CreateStreamOnHGlobal(void* memory, BOOL /*deleteOnRelease*/, IStream** stream) {
  if (stream == nullptr) return E_INVALIDARG;
  *stream = nullptr;
  if (memory != nullptr) return E_INVALIDARG;
  return CreateMemoryStream({}, stream);
}

HRESULT ReadWholeStream(IStream* stream, std::vector<uint8_t>& bytes) {
  if (stream == nullptr) return E_POINTER;
  STATSTG statistics{};
  if (const HRESULT hr = stream->Stat(&statistics, STATFLAG_NONAME); FAILED(hr)) return hr;
  if (statistics.cbSize.QuadPart > kMaxStreamSize) return E_OUTOFMEMORY;
  ULARGE_INTEGER saved{};
  LARGE_INTEGER zero{};
  if (const HRESULT hr = stream->Seek(zero, STREAM_SEEK_CUR, &saved); FAILED(hr)) return hr;
  if (const HRESULT hr = stream->Seek(zero, STREAM_SEEK_SET, nullptr); FAILED(hr)) return hr;
  HRESULT hr = S_OK;
  try {
    bytes.assign(static_cast<size_t>(statistics.cbSize.QuadPart), 0);
    ULONG read = 0;
    hr = stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
    bytes.resize(read);
  } catch (const std::bad_alloc&) {
    hr = E_OUTOFMEMORY;
  }
  LARGE_INTEGER back{};
  back.QuadPart = static_cast<LONGLONG>(saved.QuadPart);
  stream->Seek(back, STREAM_SEEK_SET, nullptr);
  return hr;
}

}  // namespace sealrun::platform::com
