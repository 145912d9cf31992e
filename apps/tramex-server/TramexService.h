#pragma once
// What the signing server answers to one request body, apart from HTTP: signing requests ("SIGNCONTEXT")
// get the PKCS#1 v1.5 SHA-1 signature over the decoded signed attributes and the certificate; verification
// requests ("VERIFYSIGNATURE") get "OK" when the signature they carry is this server's over their
// attributes. Malformed packets are refused with a non-OK status. Safe to call from several threads.
#include <cstddef>
#include <string>
#include <string_view>

#include "apps/tramex-server/ServerOptions.h"
#include "apps/tramex-server/SigningIdentity.h"

namespace sealrun::tramex {

// Requests are a few kilobytes; a larger body is refused unread.
inline constexpr std::size_t kMaxRequestBytes = 64 * 1024;
// DER signed attributes of this system are under a hundred bytes; anything near this is not a request of it.
inline constexpr std::size_t kMaxAttributesBytes = 4096;

struct ServiceAnswer {
  int httpStatus = 200;
  std::string body;     // a TRAMEX packet
  std::string request;  // "SIGNCONTEXT", "VERIFYSIGNATURE" or "-" when not recognised, for the log
  std::string status;   // the STATUS sent
};

struct RequestFields;

class TramexService {
 public:
  TramexService(SigningIdentity identity, FailureMode failure) : identity_(std::move(identity)), failure_(failure) {}
  ServiceAnswer Handle(std::string_view requestBody) const;

 private:
  ServiceAnswer Sign(const RequestFields& fields) const;
  ServiceAnswer Verify(const RequestFields& fields) const;

  SigningIdentity identity_;
  FailureMode failure_;
};

}  // namespace sealrun::tramex
