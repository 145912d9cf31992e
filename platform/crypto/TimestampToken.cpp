#include "platform/crypto/TimestampToken.h"

#include <openssl/ts.h>

#include <algorithm>
#include <climits>
#include <cstdint>

#include "platform/crypto/Cms.h"
#include "platform/crypto/OpenSslHandles.h"

namespace sealrun::platform::crypto {
namespace {

using TstInfoPtr = std::unique_ptr<TS_TST_INFO, OpenSslDeleter<TS_TST_INFO_free>>;

// The TSTInfo a token carries, or null with the reason.
TstInfoPtr ReadTstInfo(ByteView token, Bytes& content, std::string& problem) {
  if (token.empty() || token.size() > static_cast<std::size_t>(LONG_MAX)) {
    problem = "no token bytes";
    return nullptr;
  }
  const unsigned char* cursor = token.data();
  const CmsPtr cms(d2i_CMS_ContentInfo(nullptr, &cursor, static_cast<long>(token.size())));
  if (!cms || OBJ_obj2nid(CMS_get0_type(cms.get())) != NID_pkcs7_signed) {
    problem = "not a SignedData";
    return nullptr;
  }
  if (OBJ_obj2nid(CMS_get0_eContentType(cms.get())) != NID_id_smime_ct_TSTInfo) {
    problem = "the SignedData does not carry a TSTInfo";
    return nullptr;
  }
  ASN1_OCTET_STRING** carried = CMS_get0_content(cms.get());  // owned by the ContentInfo
  if (carried == nullptr || *carried == nullptr) {
    problem = "the TSTInfo is missing";
    return nullptr;
  }
  const unsigned char* data = ASN1_STRING_get0_data(*carried);
  content.assign(data, data + ASN1_STRING_length(*carried));
  const unsigned char* infoCursor = content.data();
  TstInfoPtr info(d2i_TS_TST_INFO(nullptr, &infoCursor, static_cast<long>(content.size())));
  if (!info) problem = "the TSTInfo does not parse";
  return info;
}

std::optional<std::time_t> GenerationTime(const TS_TST_INFO* info) {
  const ASN1_GENERALIZEDTIME* time = TS_TST_INFO_get_time(info);
  struct tm parts {};
  if (time == nullptr || ASN1_TIME_to_tm(time, &parts) != 1) return std::nullopt;
  return timegm(&parts);
}

enum class Imprint { UnknownAlgorithm, Differs, Matches };

// The ranges' digest, with the imprint's algorithm, against the imprint.
Imprint CompareImprint(TS_TST_INFO* info, std::span<const ByteView> ranges) {
  TS_MSG_IMPRINT* imprint = TS_TST_INFO_get_msg_imprint(info);  // owned by the TSTInfo
  const X509_ALGOR* algorithm = imprint != nullptr ? TS_MSG_IMPRINT_get_algo(imprint) : nullptr;
  const ASN1_OBJECT* object = nullptr;
  if (algorithm != nullptr) X509_ALGOR_get0(&object, nullptr, nullptr, algorithm);
  const EVP_MD* md = object != nullptr ? EVP_get_digestbyobj(object) : nullptr;
  if (md == nullptr) return Imprint::UnknownAlgorithm;
  EvpMdCtxPtr context(EVP_MD_CTX_new());
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  bool computed = context && EVP_DigestInit_ex(context.get(), md, nullptr) == 1;
  for (const ByteView range : ranges)
    computed = computed && (range.empty() || EVP_DigestUpdate(context.get(), range.data(), range.size()) == 1);
  computed = computed && EVP_DigestFinal_ex(context.get(), digest, &length) == 1;
  const ASN1_OCTET_STRING* stated = TS_MSG_IMPRINT_get_msg(imprint);
  const bool matches = computed && stated != nullptr && static_cast<unsigned int>(ASN1_STRING_length(stated)) == length &&
                       std::equal(digest, digest + length, ASN1_STRING_get0_data(stated));
  return matches ? Imprint::Matches : Imprint::Differs;
}

bool StampsTime(const Certificate& certificate) {
  X509* x509 = certificate.GetImpl().x509.get();
  const std::uint32_t usage = X509_get_extended_key_usage(x509);
  // UINT32_MAX: no extended key usage at all, which a time-stamping authority's certificate must have.
  return usage != UINT32_MAX && (usage & XKU_TIMESTAMP) != 0;
}

}  // namespace

TimestampVerifyResult VerifyTimestampToken(ByteView tokenDer, std::span<const ByteView> stampedRanges) {
  TimestampVerifyResult result;
  Bytes content;
  const TstInfoPtr info = ReadTstInfo(tokenDer, content, result.problem);
  if (!info) {
    ERR_clear_error();
    return result;
  }
  result.genTime = GenerationTime(info.get());
  const Imprint imprint = CompareImprint(info.get(), stampedRanges);
  result.wellFormed = imprint != Imprint::UnknownAlgorithm;
  result.imprintMatches = imprint == Imprint::Matches;

  const CmsVerifyResult signature = CmsVerify(tokenDer, {ByteView(content)});
  result.signatureValid = signature.Valid();
  result.signer = signature.signer;
  result.timeStampingSigner = result.signer && StampsTime(*result.signer);
  if (!result.wellFormed)
    result.problem = "the imprint's digest algorithm is unknown";
  else if (!result.imprintMatches)
    result.problem = "the message imprint is not the digest of the stamped data";
  else if (!result.signatureValid)
    result.problem = "the token's signature: " + signature.problem;
  else if (!result.timeStampingSigner)
    result.problem = "the signer certificate is not one for stamping time";
  ERR_clear_error();
  return result;
}

}  // namespace sealrun::platform::crypto
