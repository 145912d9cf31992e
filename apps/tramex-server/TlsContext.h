#pragma once
// The server's TLS settings: its certificate chain and key (PEM), TLS 1.2 or later only, and when a client
// CA is given, client certificates asked for and checked against it (a client without one may still come
// in with a bearer token; a client with a certificate the CA did not issue fails the handshake).
#include <openssl/ssl.h>

#include <memory>
#include <optional>
#include <string>

namespace sealrun::tramex {

struct SslCtxDeleter {
  void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};

class TlsContext {
 public:
  // The context, or nullopt with the file and OpenSSL's reason in `error`.
  static std::optional<TlsContext> Create(const std::string& certificateFile, const std::string& keyFile,
                                          const std::string& clientCaFile, std::string& error);

  SSL_CTX* Get() const { return context_.get(); }

 private:
  explicit TlsContext(std::unique_ptr<SSL_CTX, SslCtxDeleter> context) : context_(std::move(context)) {}
  std::unique_ptr<SSL_CTX, SslCtxDeleter> context_;
};

}  // namespace sealrun::tramex
