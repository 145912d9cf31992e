#include "apps/tramex-server/TramexService.h"

#include <optional>
#include <random>
#include <vector>

#include "platform/crypto/Cms.h"
#include "platform/crypto/Pkcs1.h"
#include "platform/text/Utf.h"
#include "protocol/Packet.h"
#include "protocol/PacketParse.h"
#include "protocol/StandardBase64.h"
#include "protocol/TramexFields.h"
#include "support/Base64.h"

namespace sealrun::tramex {

namespace crypto = platform::crypto;
using protocol::PacketField;

struct RequestFields {
  std::vector<PacketField> fields;
  std::optional<std::u16string> Get(std::u16string_view name) const { return protocol::FindField(fields, name); }
};

namespace {

ServiceAnswer Answer(int httpStatus, std::string request, std::u16string_view status,
                     std::vector<PacketField> extra = {}) {
  std::vector<PacketField> fields{{std::u16string(protocol::kFieldStatus), std::u16string(status)}};
  for (PacketField& field : extra) fields.push_back(std::move(field));
  ServiceAnswer answer;
  answer.httpStatus = httpStatus;
  answer.body = protocol::BuildPacket(fields);
  answer.request = std::move(request);
  answer.status = platform::text::Utf16ToUtf8(status);
  return answer;
}

ServiceAnswer Malformed(std::string request) { return Answer(400, std::move(request), u"MALFORMED"); }

std::u16string Base64Text(crypto::ByteView bytes) { return platform::text::Utf8ToUtf16(support::Base64Encode(bytes)); }

// The DER signed attributes a request carries: one DER SET of bounded size.
std::optional<crypto::Bytes> DecodeAttributes(const std::optional<std::u16string>& certText) {
  if (!certText) return std::nullopt;
  std::optional<crypto::Bytes> attributes = protocol::DecodeStandardBase64(*certText);
  if (!attributes || attributes->empty() || attributes->size() > kMaxAttributesBytes) return std::nullopt;
  if ((*attributes)[0] != 0x31 || crypto::DerElementLength(*attributes) != attributes->size()) return std::nullopt;
  return attributes;
}

}  // namespace

ServiceAnswer TramexService::Handle(std::string_view requestBody) const {
  if (requestBody.size() > kMaxRequestBytes) return Malformed("-");
  std::optional<std::vector<PacketField>> parsed = protocol::ParsePacket(requestBody);
  if (!parsed) return Malformed("-");
  const RequestFields request{std::move(*parsed)};
  if (request.Get(protocol::kFieldTramex) != protocol::kTramexValue) return Malformed("-");
  if (request.Get(protocol::kFieldOption) == protocol::kOptionSignContext) return Sign(request);
  if (request.Get(protocol::kFieldCommand) == protocol::kCommandVerifySignature) return Verify(request);
  return Malformed("-");
}

ServiceAnswer TramexService::Sign(const RequestFields& request) const {
  const std::string name = "SIGNCONTEXT";
  const std::optional<std::u16string> requestNumber = request.Get(protocol::kFieldRequestNumber);
  if (!request.Get(protocol::kFieldKeySerial) || !request.Get(protocol::kFieldSealSerial) || !requestNumber ||
      requestNumber->empty())
    return Malformed(name);
  const std::optional<crypto::Bytes> attributes = DecodeAttributes(request.Get(protocol::kFieldCertText));
  if (!attributes) return Malformed(name);
  if (failure_ == FailureMode::Refuse) return Answer(200, name, u"REFUSED");

  crypto::Result<crypto::Bytes> signature = crypto::SignPkcs1Sha1(identity_.key, *attributes);
  if (!signature) return Answer(500, name, u"ERROR");
  if (failure_ == FailureMode::Garbage) {
    std::random_device random;
    for (std::uint8_t& byte : *signature) byte = static_cast<std::uint8_t>(random());
  }
  std::vector<PacketField> fields{{std::u16string(protocol::kFieldSignResult), Base64Text(*signature)}};
  if (failure_ != FailureMode::NoCert)
    fields.push_back({std::u16string(protocol::kFieldCertContext), Base64Text(identity_.certificate.Der())});
  return Answer(failure_ == FailureMode::Http500 ? 500 : 200, name, protocol::kStatusOk, std::move(fields));
}

ServiceAnswer TramexService::Verify(const RequestFields& request) const {
  const std::string name = "VERIFYSIGNATURE";
  if (request.Get(protocol::kFieldKeySerial) != protocol::kVerifyKeySerial ||
      request.Get(protocol::kFieldSealSerial) != protocol::kVerifySealSerial)
    return Answer(200, name, u"REFUSED");
  const std::optional<crypto::Bytes> attributes = DecodeAttributes(request.Get(protocol::kFieldCertText));
  const std::optional<std::u16string> signedData = request.Get(protocol::kFieldSignedData);
  const std::optional<std::u16string> certContext = request.Get(protocol::kFieldCertContext);
  if (!attributes || !signedData || !certContext) return Malformed(name);
  const int httpStatus = failure_ == FailureMode::Http500 ? 500 : 200;
  // A verification after a refusal carries no signature: nothing of this server's to confirm.
  if (signedData->empty() || certContext->empty()) return Answer(httpStatus, name, u"NOSIGNATURE");
  const std::optional<crypto::Bytes> signature = protocol::DecodeStandardBase64(*signedData);
  const std::optional<crypto::Bytes> certificateDer = protocol::DecodeStandardBase64(*certContext);
  if (!signature || !certificateDer) return Malformed(name);
  const crypto::Result<crypto::Certificate> certificate = crypto::Certificate::FromDer(*certificateDer);
  const bool valid = certificate && *certificate == identity_.certificate &&
                     crypto::VerifyPkcs1Sha1(*certificate, *attributes, *signature);
  return Answer(httpStatus, name, valid ? protocol::kStatusOk : u"FAIL");
}

}  // namespace sealrun::tramex
