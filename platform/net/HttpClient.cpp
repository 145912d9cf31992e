#include "platform/net/HttpClient.h"

#include <httplib.h>
#include <openssl/err.h>
#include <openssl/x509_vfy.h>

#include <charconv>
#include <condition_variable>
#include <mutex>
#include <cstdlib>
#include <exception>
#include <memory>
#include <thread>

namespace sealrun::platform::net {
namespace {

// Ends an exchange at its deadline whatever the server does: a watcher thread shuts the client's socket down
// (the one thing httplib lets another thread do to a request in flight), so the blocked read returns.
class ExchangeDeadline {
 public:
  ExchangeDeadline(httplib::Client& client, std::chrono::milliseconds limit)
      : watcher_([this, &client, limit] {
          std::unique_lock lock(mutex_);
          if (!finished_.wait_for(lock, limit, [this] { return done_; })) {
            expired_ = true;
            client.stop();
          }
        }) {}
  ~ExchangeDeadline() {
    {
      const std::lock_guard lock(mutex_);
      done_ = true;
    }
    finished_.notify_all();
    watcher_.join();
  }
  ExchangeDeadline(const ExchangeDeadline&) = delete;
  ExchangeDeadline& operator=(const ExchangeDeadline&) = delete;

  bool Expired() const {
    const std::lock_guard lock(mutex_);
    return expired_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable finished_;
  bool done_ = false;
  bool expired_ = false;
  std::thread watcher_;  // last: started once the members it uses exist
};

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

HttpFailure FailureOf(httplib::Error error) {
  switch (error) {
    case httplib::Error::Success: return HttpFailure::None;
    case httplib::Error::ConnectionTimeout: return HttpFailure::Timeout;
    case httplib::Error::Read:
    case httplib::Error::Write: return HttpFailure::Transfer;
    default: return HttpFailure::Connection;
  }
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

struct X509StoreDeleter {
  void operator()(X509_STORE* store) const { X509_STORE_free(store); }
};

// The system's roots (OpenSSL's default paths) and the anchors of the extra file, read once per process and
// file name: reading a few hundred roots for each request would cost more than the exchange itself. A new
// reference for the caller, or null when the extra file cannot be read.
X509_STORE* SharedTrustStore(const std::string& caFile) {
  static std::mutex mutex;
  static std::unique_ptr<X509_STORE, X509StoreDeleter> shared;
  static std::string sharedFor;
  const std::lock_guard lock(mutex);
  if (!shared || sharedFor != caFile) {
    std::unique_ptr<X509_STORE, X509StoreDeleter> store(X509_STORE_new());
    if (!store) return nullptr;
    X509_STORE_set_default_paths(store.get());
    ERR_clear_error();  // a missing default file or folder only means fewer roots
    if (!caFile.empty() && X509_STORE_load_file(store.get(), caFile.c_str()) != 1) {
      ERR_clear_error();
      return nullptr;
    }
    shared = std::move(store);
    sharedFor = caFile;
  }
  X509_STORE_up_ref(shared.get());
  return shared.get();
}

// The client for the origin, with the client certificate when one is configured; null with the reason
// in `failure` when the configured files cannot be used.
std::unique_ptr<httplib::Client> MakeClient(const std::string& origin, bool https, std::string& failure) {
  if (!https) return std::make_unique<httplib::Client>(origin);
  const ClientTlsSettings tls = ClientTlsSettingsFromEnvironment();
  auto client = tls.certificateFile.empty()
                    ? std::make_unique<httplib::Client>(origin)
                    : std::make_unique<httplib::Client>(origin, tls.certificateFile, tls.keyFile);
  if (!client->is_valid()) {
    failure = tls.certificateFile.empty() ? "the client cannot be made for " + origin
                                          : "the client certificate " + tls.certificateFile + " or its key " +
                                                tls.keyFile + " cannot be used";
    return nullptr;
  }
  X509_STORE* trusted = SharedTrustStore(tls.caFile);
  if (trusted == nullptr) {
    failure = "the trust anchors in " + tls.caFile + " cannot be read";
    return nullptr;
  }
  client->set_ca_cert_store(trusted);  // the client's context keeps the reference it is given
  // Named locations keep the client from reading the default roots again into the shared store: the extra
  // file (small), or else the default certificate folder, whose hashed entries are only looked up on demand.
  if (!tls.caFile.empty()) client->set_ca_cert_path(tls.caFile);
  else client->set_ca_cert_path(std::string(), X509_get_default_cert_dir());
  return client;
}

}  // namespace

ClientTlsSettings ClientTlsSettingsFromEnvironment() {
  ClientTlsSettings settings;
  settings.certificateFile = Environment(kClientCertificateVariable);
  settings.keyFile = Environment(kClientKeyVariable);
  if (settings.keyFile.empty()) settings.keyFile = settings.certificateFile;
  if (settings.certificateFile.empty()) settings.keyFile.clear();
  settings.caFile = Environment(kTrustAnchorsVariable);
  return settings;
}

bool ParseHttpAddress(std::string_view url, HttpAddress& address) {
  const std::size_t schemeEnd = url.find("://");
  if (schemeEnd == std::string_view::npos || schemeEnd == 0) return false;
  for (const char c : url.substr(0, schemeEnd)) {
    if (!IsAsciiLetter(c)) return false;
  }
  HttpAddress parsed;
  parsed.scheme = Lower(url.substr(0, schemeEnd));
  if (parsed.scheme != "http" && parsed.scheme != "https") return false;
  std::string_view rest = url.substr(schemeEnd + 3);
  const std::size_t authorityEnd = rest.find_first_of("/?#");
  std::string_view authority = rest.substr(0, authorityEnd);
  std::string_view target = authorityEnd == std::string_view::npos ? std::string_view{} : rest.substr(authorityEnd);
  if (const std::size_t fragment = target.find('#'); fragment != std::string_view::npos) target = target.substr(0, fragment);
  // User information is not supported: an address carrying a password is refused rather than sent in clear.
  if (authority.find('@') != std::string_view::npos) return false;

  std::string_view portText;
  if (!authority.empty() && authority.front() == '[') {
    const std::size_t close = authority.find(']');
    if (close == std::string_view::npos) return false;
    parsed.host = std::string(authority.substr(1, close - 1));
    const std::string_view after = authority.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != ':') return false;
      portText = after.substr(1);
    }
  } else {
    const std::size_t colon = authority.rfind(':');
    parsed.host = std::string(authority.substr(0, colon));
    if (colon != std::string_view::npos) portText = authority.substr(colon + 1);
  }
  if (parsed.host.empty()) return false;
  for (const char c : parsed.host) {
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return false;
  }
  parsed.port = parsed.scheme == "https" ? 443 : 80;
  if (!portText.empty()) {
    int port = 0;
    const auto [end, error] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
    if (error != std::errc{} || end != portText.data() + portText.size() || port < 1 || port > 65535) return false;
    parsed.port = port;
  }
  if (target.empty()) target = "/";
  if (target.front() == '?') parsed.target = "/";
  parsed.target += std::string(target);
  for (const char c : parsed.target) {
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return false;
  }
  address = std::move(parsed);
  return true;
}

HttpAnswer HttpPost(std::string_view url, std::string_view body, const HttpHeaders& headers,
                    const HttpPostOptions& options) {
  HttpAnswer answer;
  HttpAddress address;
  if (!ParseHttpAddress(url, address)) {
    answer.failure = HttpFailure::BadAddress;
    answer.failureText = "not an http or https address";
    return answer;
  }
  try {
    const bool literalV6 = address.host.find(':') != std::string::npos;
    const std::string origin = address.scheme + "://" + (literalV6 ? "[" + address.host + "]" : address.host) + ":" +
                               std::to_string(address.port);
    const std::unique_ptr<httplib::Client> made = MakeClient(origin, address.scheme == "https", answer.failureText);
    if (!made) {
      answer.failure = HttpFailure::Connection;
      return answer;
    }
    httplib::Client& client = *made;
    const ExchangeDeadline deadline(client, options.totalTimeout);
    client.set_connection_timeout(options.connectTimeout);
    client.set_read_timeout(options.ioTimeout);
    client.set_write_timeout(options.ioTimeout);
    client.set_keep_alive(false);
    // A request is written in several pieces (and TLS records); waiting for each piece's acknowledgement
    // would cost a delayed-ACK period per exchange.
    client.set_tcp_nodelay(true);
    client.set_follow_location(false);
    client.set_decompress(true);

    httplib::Request request;
    request.method = "POST";
    request.path = address.target;
    for (const auto& [name, value] : headers) request.headers.emplace(name, value);
    request.body = std::string(body);
    bool tooLarge = false;
    std::string received;
    request.content_receiver = [&](const char* data, std::size_t length, std::uint64_t, std::uint64_t) {
      if (received.size() + length > options.maxAnswerBytes) {
        tooLarge = true;
        return false;
      }
      received.append(data, length);
      return true;
    };

    httplib::Response response;
    httplib::Error error = httplib::Error::Success;
    const bool sent = client.send(request, response, error);
    if (tooLarge) {
      answer.failure = HttpFailure::TooLarge;
      answer.failureText = "the answer is larger than " + std::to_string(options.maxAnswerBytes) + " bytes";
      return answer;
    }
    if (deadline.Expired()) {
      answer.failure = HttpFailure::Timeout;
      answer.failureText = "no complete answer within " + std::to_string(options.totalTimeout.count()) + " ms";
      return answer;
    }
    if (!sent) {
      answer.failure = FailureOf(error);
      if (answer.failure == HttpFailure::None) answer.failure = HttpFailure::Connection;
      answer.failureText = httplib::to_string(error);
      return answer;
    }
    answer.status = response.status;
    answer.body = std::move(received);
    return answer;
  } catch (const std::exception& exception) {
    answer = HttpAnswer{};
    answer.failure = HttpFailure::Connection;
    answer.failureText = exception.what();
    return answer;
  } catch (...) {
    answer = HttpAnswer{};
    answer.failure = HttpFailure::Connection;
    answer.failureText = "unexpected failure";
    return answer;
  }
}

}  // namespace sealrun::platform::net
