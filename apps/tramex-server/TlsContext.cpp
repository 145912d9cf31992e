#include "apps/tramex-server/TlsContext.h"

#include <openssl/err.h>

namespace sealrun::tramex {
namespace {

// The oldest error OpenSSL queued (the one that says what went wrong first), and the queue emptied.
std::string OpenSslReason() {
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code == 0) return "unknown failure";
  char text[256] = {};
  ERR_error_string_n(code, text, sizeof text);
  return text;
}

struct X509NameStackDeleter {
  void operator()(STACK_OF(X509_NAME) * names) const { sk_X509_NAME_pop_free(names, X509_NAME_free); }
};

}  // namespace

std::optional<TlsContext> TlsContext::Create(const std::string& certificateFile, const std::string& keyFile,
                                             const std::string& clientCaFile, std::string& error) {
  ERR_clear_error();
  std::unique_ptr<SSL_CTX, SslCtxDeleter> context(SSL_CTX_new(TLS_server_method()));
  if (!context) {
    error = "TLS: " + OpenSslReason();
    return std::nullopt;
  }
  SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION);
  SSL_CTX_set_options(context.get(), SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE);
  // One request per connection: a session kept for resumption would outlive its use.
  SSL_CTX_set_session_cache_mode(context.get(), SSL_SESS_CACHE_OFF);
  SSL_CTX_set_num_tickets(context.get(), 0);
  SSL_CTX_set_options(context.get(), SSL_OP_NO_TICKET);
  if (SSL_CTX_use_certificate_chain_file(context.get(), certificateFile.c_str()) != 1) {
    error = certificateFile + ": " + OpenSslReason();
    return std::nullopt;
  }
  if (SSL_CTX_use_PrivateKey_file(context.get(), keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
    error = keyFile + ": " + OpenSslReason();
    return std::nullopt;
  }
  if (SSL_CTX_check_private_key(context.get()) != 1) {
    error = keyFile + ": the key does not belong to " + certificateFile;
    ERR_clear_error();
    return std::nullopt;
  }
  if (!clientCaFile.empty()) {
    std::unique_ptr<STACK_OF(X509_NAME), X509NameStackDeleter> names(SSL_load_client_CA_file(clientCaFile.c_str()));
    if (!names || SSL_CTX_load_verify_locations(context.get(), clientCaFile.c_str(), nullptr) != 1) {
      error = clientCaFile + ": " + OpenSslReason();
      return std::nullopt;
    }
    SSL_CTX_set_client_CA_list(context.get(), names.release());
    SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_verify_depth(context.get(), 4);
  }
  return TlsContext(std::move(context));
}

}  // namespace sealrun::tramex
