#include "support/EngineHash.h"

namespace sealrun::support {

EngineHash EngineHash::Create(int kind) {
  qp_hash handle = nullptr;
  const int created = qp_hash_create(&handle, kind);
  EngineHash hash(handle);
  // A failing create that still hands out a handle: release it rather than keep a half-made digest.
  if (created != 0) hash.Destroy();
  return hash;
}

int EngineHash::Update(std::span<const std::uint8_t> bytes) {
  if (handle_ == nullptr) return kNoHash;
  return qp_hash_update(handle_.get(), bytes.data(), bytes.size());
}

int EngineHash::Final(std::span<std::uint8_t> out, std::size_t& digestLength) {
  digestLength = 0;
  if (handle_ == nullptr) return kNoHash;
  std::size_t length = out.size();
  const int result = qp_hash_final(handle_.get(), out.data(), &length);
  if (result == 0) digestLength = length;
  return result;
}

std::vector<std::uint8_t> EngineHash::Final() {
  // Room for the largest digest the engine makes (SHA-512 and below).
  std::vector<std::uint8_t> digest(64);
  std::size_t length = 0;
  if (Final(digest, length) != 0) return {};
  digest.resize(length);
  return digest;
}

}  // namespace sealrun::support
