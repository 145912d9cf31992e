#pragma once
// The PDF engine as the add-in sees it: C-style functions on opaque handles, each returning an int
// result (0 success) unless stated otherwise. Nothing escapes an engine call but its result.

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// ---- Digests --------------------------------------------------------------------------------
typedef struct qp_hash_s* qp_hash;

// Hash kinds.
#define QP_HASH_SHA1 1
#define QP_HASH_SHA256 2

// Creates a digest of the given kind; *hash is null on failure. Release with qp_hash_destroy.
int qp_hash_create(qp_hash* hash, int kind);
int qp_hash_update(qp_hash hash, const void* data, size_t length);
// Writes the digest into out (at least *length bytes available); sets *length to the digest size.
// The hash cannot be updated after final.
int qp_hash_final(qp_hash hash, unsigned char* out, size_t* length);
void qp_hash_destroy(qp_hash hash);

#ifdef __cplusplus
}
#endif
