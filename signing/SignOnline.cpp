#include "signing/SignOnline.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <exception>
#include <memory>
#include <vector>

#include "external/QpHandles.h"
#include "platform/crypto/Certificate.h"
#include "platform/crypto/Pkcs1.h"
#include "platform/crypto/SignedDataBuilder.h"
#include "platform/text/CodePage.h"
#include "platform/text/Utf.h"
#include "protocol/Packet.h"
#include "protocol/StandardBase64.h"
#include "protocol/TramexFields.h"
#include "support/Base64.h"
#include "support/Trace.h"

namespace sealrun::signing {
namespace {

namespace crypto = platform::crypto;
namespace text = platform::text;

constexpr std::size_t kSha1Size = 20;
// The placeholder the engine writes into the reserved room until the merge replaces it.
constexpr std::array<std::uint8_t, 10> kPlaceholder{};

void Trace(std::string_view line) { support::Trace(line); }

// One document's signing context: filled by the callback during the engine's save.
struct SigningContext {
  int reserveFlag = -1;
  int signatureLength = 0;
  bool hashed = false;
  std::array<std::uint8_t, kSha1Size> digest{};
  crypto::Bytes attributes;
  std::string attributesText;
};

int HashRanges(const qp_sign_request& request, std::array<std::uint8_t, kSha1Size>& digest) {
  qp_hash raw = nullptr;
  if (qp_hash_create(&raw, QP_HASH_SHA1) != QP_OK || raw == nullptr) return QP_ERR_ENGINE;
  const external::HashHandle hash(raw);
  for (int i = 0; i < request.rangeCount; ++i) {
    if (request.rangeData[i] == nullptr && request.rangeLengths[i] != 0) return QP_ERR_ARGUMENT;
    if (qp_hash_update(hash.get(), request.rangeData[i], request.rangeLengths[i]) != QP_OK) return QP_ERR_ENGINE;
  }
  std::array<unsigned char, 64> out{};
  std::size_t length = out.size();
  if (qp_hash_final(hash.get(), out.data(), &length) != QP_OK || length != kSha1Size) return QP_ERR_ENGINE;
  std::copy_n(out.begin(), kSha1Size, digest.begin());
  return QP_OK;
}

// Called twice by the engine during the save: first for the room, then with the byte ranges.
int SigningCallback(qp_sign_request* request) noexcept {
  try {
    if (request == nullptr || request->context == nullptr) return QP_ERR_ARGUMENT;
    SigningContext& context = *static_cast<SigningContext*>(request->context);
    if (request->phase == QP_SIGN_PHASE_SIZE) {
      request->size = SignatureReserveSize(context.reserveFlag, context.signatureLength);
      return QP_OK;
    }
    if (request->phase != QP_SIGN_PHASE_SIGN || request->rangeCount < 0 ||
        (request->rangeCount > 0 && (request->rangeData == nullptr || request->rangeLengths == nullptr)))
      return QP_ERR_ARGUMENT;
    if (const int hashed = HashRanges(*request, context.digest); hashed != QP_OK) return hashed;
    context.attributes = crypto::BuildSignedAttributes(context.digest);
    context.attributesText = support::Base64Encode(context.attributes);
    context.hashed = true;
    return qp_signature_set_signed_response(request, kPlaceholder.data(), static_cast<int>(kPlaceholder.size()));
  } catch (...) {
    return QP_ERR_ENGINE;
  }
}

StampResult Merge(qp_signature signature, const SigningContext& context, std::u16string_view signResult,
                  std::u16string_view certContext) {
  if (!context.hashed) return StampFailure::NoSigningRequest;
  if (signResult.empty()) return StampFailure::NoServerSignature;
  // The answer's texts, as the system reads them, are in the ANSI code page; Base64 is ASCII in any of them.
  const std::optional<crypto::Bytes> signatureBytes = protocol::DecodeStandardBase64(signResult);
  const std::optional<crypto::Bytes> certificateBytes = protocol::DecodeStandardBase64(certContext);
  if (!signatureBytes || signatureBytes->empty()) {
    Trace("online signing: SIGNRESULT is not Base64");
    return StampFailure::UnusableServerAnswer;
  }
  if (!certificateBytes) {
    Trace("online signing: CERTCONTEXT is not Base64");
    return StampFailure::UnusableServerAnswer;
  }
  crypto::Result<crypto::Certificate> certificate = crypto::Certificate::FromDer(*certificateBytes);
  if (!certificate) {
    Trace("online signing: CERTCONTEXT is not a certificate");
    return StampFailure::UnusableServerAnswer;
  }
  // A signature that does not match the attributes and the certificate would be merged into a signature
  // every reader rejects: such an answer is a refusal.
  if (!crypto::VerifyPkcs1Sha1(*certificate, context.attributes, *signatureBytes)) {
    Trace("online signing: SIGNRESULT is not the certificate's signature over the attributes");
    return StampFailure::UnusableServerAnswer;
  }
  crypto::SignedDataParts parts{*certificate, context.attributes, *signatureBytes, crypto::DigestAlgorithm::Sha1, {}};
  const crypto::Result<crypto::Bytes> cms = crypto::BuildSignedData(parts);
  if (!cms) return StampFailure::UnusableServerAnswer;
  const int merged = qp_signature_merge_signature(signature, cms->data(), static_cast<int>(cms->size()));
  if (merged != QP_OK) return {StampFailure::NotMerged, merged};
  return {};
}

std::int64_t MillisecondsSinceBoot() {
  timespec now{};
  if (clock_gettime(CLOCK_BOOTTIME, &now) != 0) return 0;
  return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

}  // namespace

int SignatureLengthFromOptions(std::u16string_view options) {
  std::vector<std::u16string_view> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = options.find(u',', start);
    parts.push_back(options.substr(start, comma == std::u16string_view::npos ? std::u16string_view::npos : comma - start));
    if (comma == std::u16string_view::npos) break;
    start = comma + 1;
  }
  if (parts.size() != 4 || !text::EqualsIgnoreAsciiCase(parts[2], u"len")) return 0;
  // Read as the runtime reads a decimal integer: leading digits, the rest ignored, 0 without any.
  std::int64_t value = 0;
  std::size_t i = 0;
  bool negative = false;
  const std::u16string_view number = parts[3];
  while (i < number.size() && (number[i] == u' ' || number[i] == u'\t')) ++i;
  if (i < number.size() && (number[i] == u'-' || number[i] == u'+')) negative = number[i++] == u'-';
  for (; i < number.size() && number[i] >= u'0' && number[i] <= u'9'; ++i) {
    value = value * 10 + (number[i] - u'0');
    if (value > 65536) return 0;  // more room than the engine grants: no usable length
  }
  return static_cast<int>(negative ? -value : value);
}

std::size_t SignatureReserveSize(int reserveFlag, int signatureLength) {
  const std::size_t length = signatureLength > 0 ? static_cast<std::size_t>(signatureLength) : 0;
  if (reserveFlag != 0) return length == 0 ? 12384 : length + 4192;
  return length == 0 ? 8192 : length;
}

std::u16string MakeRequestNumber() {
  // The runtime's generator: seeded with the milliseconds since boot, one value of 0..32767.
  std::uint32_t state = static_cast<std::uint32_t>(MillisecondsSinceBoot());
  state = state * 214013u + 2531011u;
  const int value = static_cast<int>((state >> 16) & 0x7FFF);
  std::array<char, 16> number{};
  std::snprintf(number.data(), number.size(), "%04d", value);
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::array<char, 32> when{};
  if (std::strftime(when.data(), when.size(), "%Y%m%d%H%M%S", &local) == 0) when[0] = '\0';
  return text::Utf8ToUtf16(std::string(number.data()) + when.data());
}

StampResult SignOnline(qp_signature signature, const OnlineSigningRequest& request,
                       protocol::PacketTransport& transport, OnlineSigningTrace* trace) {
  using namespace protocol;
  if (signature == nullptr) return StampFailure::NoSigningRequest;
  const std::u16string requestNumber = MakeRequestNumber();

  SigningContext context;
  context.signatureLength = SignatureLengthFromOptions(kOnlineSigningOptions);
  const qp_sign_callback_desc descriptor{&SigningCallback, &context};
  const int saved = qp_signature_save_pkcs1(signature, nullptr, nullptr, &descriptor);
  // A failed save leaves the file as it was: there is nothing to ask the server for.
  if (saved != QP_OK) return {StampFailure::NotSaved, saved};
  if (!context.hashed) return StampFailure::NoSigningRequest;
  if (trace != nullptr) trace->attributesText = context.attributesText;
  const std::u16string attributesText = text::Utf8ToUtf16(context.attributesText);

  const std::string url = text::FromUtf16(request.webUrl, text::kCpAcp);
  const PacketField signing[] = {
      {std::u16string(kFieldTramex), std::u16string(kTramexValue)},
      {std::u16string(kFieldOption), std::u16string(kOptionSignContext)},
      {std::u16string(kFieldKeySerial), request.keySerial},
      {std::u16string(kFieldSealSerial), request.sealSerial},
      {std::u16string(kFieldCertText), attributesText},
      {std::u16string(kFieldRequestNumber), requestNumber},
  };
  const std::string answer = PostPacket(url, BuildPacket(signing), transport);
  const std::u16string status = ReadPacketField(answer, kFieldStatus);
  if (trace != nullptr) trace->status = status;

  std::u16string signResult;
  std::u16string certContext;
  StampResult result = answer.empty() ? StampFailure::NoServerAnswer : StampFailure::ServerRefused;
  if (status == kStatusOk) {
    signResult = ReadPacketField(answer, kFieldSignResult);
    certContext = ReadPacketField(answer, kFieldCertContext);
    if (certContext.empty()) return StampFailure::UnusableServerAnswer;
    result = Merge(signature, context, signResult, certContext);
  } else {
    Trace("online signing refused, STATUS \"" + text::Utf16ToUtf8(status) + "\"");
  }

  // The verification request tells the server what was merged (or that nothing was); its answer changes
  // nothing. A server that did not answer at all is not asked again: that would only double the wait.
  if (!answer.empty()) {
    const PacketField verification[] = {
        {std::u16string(kFieldTramex), std::u16string(kTramexValue)},
        {std::u16string(kFieldCommand), std::u16string(kCommandVerifySignature)},
        {std::u16string(kFieldSignedData), signResult},
        {std::u16string(kFieldCertContext), certContext},
        {std::u16string(kFieldCertText), attributesText},
        {std::u16string(kFieldKeySerial), std::u16string(kVerifyKeySerial)},
        {std::u16string(kFieldSealSerial), std::u16string(kVerifySealSerial)},
    };
    (void)PostPacket(url, BuildPacket(verification), transport);
    if (trace != nullptr) trace->verificationSent = true;
  }
  return result;
}

OnlineSigner MakeOnlineSigner(OnlineSigningRequest request, protocol::PacketTransport* transport) {
  protocol::PacketTransport& used = transport != nullptr ? *transport : protocol::DefaultPacketTransport();
  return [request = std::move(request), &used](qp_signature signature) {
    try {
      return SignOnline(signature, request, used);
    } catch (...) {
      return StampResult(StampFailure::OnlineSigningFailed);
    }
  };
}

}  // namespace sealrun::signing
