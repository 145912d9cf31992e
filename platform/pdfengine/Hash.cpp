// Engine digests over OpenSSL: kind 1 is SHA-1 (the CMS of server-made signatures names SHA-1),
// kind 2 SHA-256.
#include <openssl/evp.h>

#include <memory>

#include "platform/pdfengine/Internal.h"

struct qp_hash_s {
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> md{EVP_MD_CTX_new(), &EVP_MD_CTX_free};
  bool finished = false;
};

using namespace sealrun::platform::pdfengine;

extern "C" int qp_hash_create(qp_hash* hash, int kind) {
  return GuardCode(__func__, [&] {
    if (hash == nullptr) Fail(QP_ERR_ARGUMENT, "no hash slot");
    *hash = nullptr;
    const EVP_MD* type = kind == QP_HASH_SHA1 ? EVP_sha1() : kind == QP_HASH_SHA256 ? EVP_sha256() : nullptr;
    if (type == nullptr) Fail(QP_ERR_UNSUPPORTED, "unknown hash kind");
    auto created = std::make_unique<qp_hash_s>();
    if (!created->md || EVP_DigestInit_ex(created->md.get(), type, nullptr) != 1)
      Fail(QP_ERR_ENGINE, "digest init failed");
    *hash = created.release();
    return QP_OK;
  });
}

extern "C" int qp_hash_update(qp_hash hash, const void* data, size_t length) {
  return GuardCode(__func__, [&] {
    if (hash == nullptr || hash->finished || (data == nullptr && length != 0)) Fail(QP_ERR_ARGUMENT, "bad hash");
    if (length != 0 && EVP_DigestUpdate(hash->md.get(), data, length) != 1) Fail(QP_ERR_ENGINE, "update failed");
    return QP_OK;
  });
}

extern "C" int qp_hash_final(qp_hash hash, unsigned char* out, size_t* length) {
  return GuardCode(__func__, [&] {
    if (hash == nullptr || hash->finished || out == nullptr || length == nullptr) Fail(QP_ERR_ARGUMENT, "bad hash");
    const auto size = static_cast<std::size_t>(EVP_MD_CTX_get_size(hash->md.get()));
    if (*length < size) {
      *length = size;
      return QP_ERR_BUFFER;
    }
    unsigned int written = 0;
    if (EVP_DigestFinal_ex(hash->md.get(), out, &written) != 1) Fail(QP_ERR_ENGINE, "final failed");
    hash->finished = true;
    *length = written;
    return QP_OK;
  });
}

extern "C" void qp_hash_destroy(qp_hash hash) {
  std::unique_ptr<qp_hash_s> owned(hash);
}
