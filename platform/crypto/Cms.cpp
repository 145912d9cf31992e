#include "platform/crypto/Cms.h"

#include <algorithm>
#include <climits>

#include "platform/crypto/CmsCertificates.h"
#include "platform/crypto/KeyStore.h"
#include "platform/crypto/OpenSslHandles.h"

namespace sealrun::platform::crypto {
namespace {

std::optional<std::time_t> AttributeTime(const CMS_SignerInfo* signerInfo) {
  const int index = CMS_signed_get_attr_by_NID(signerInfo, NID_pkcs9_signingTime, -1);
  if (index < 0) return std::nullopt;
  X509_ATTRIBUTE* attribute = CMS_signed_get_attr(signerInfo, index);
  const ASN1_TYPE* value = X509_ATTRIBUTE_get0_type(attribute, 0);
  if (value == nullptr || (value->type != V_ASN1_UTCTIME && value->type != V_ASN1_GENERALIZEDTIME)) {
    return std::nullopt;
  }
  struct tm parts {};
  if (ASN1_TIME_to_tm(value->value.utctime, &parts) != 1) return std::nullopt;
  return timegm(&parts);
}

// Feeds a BIO chain in pieces that fit its int lengths.
bool WriteAll(BIO* bio, ByteView data) {
  while (!data.empty()) {
    const int piece = static_cast<int>(std::min<std::size_t>(data.size(), 1u << 30));
    if (BIO_write(bio, data.data(), piece) != piece) return false;
    data = data.subspan(static_cast<std::size_t>(piece));
  }
  return true;
}

}  // namespace

// ---- Signing --------------------------------------------------------------------------------------

class CmsSigner::Impl {
 public:
  CmsPtr cms;
  BioPtr data;  // digest BIOs over a null sink: detached content is hashed, never kept
  bool failed = false;
  bool finished = false;
};

CmsSigner::CmsSigner(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
CmsSigner::CmsSigner(CmsSigner&&) noexcept = default;
CmsSigner& CmsSigner::operator=(CmsSigner&&) noexcept = default;
CmsSigner::~CmsSigner() = default;

Result<CmsSigner> CmsSigner::Create(const Certificate& signer, const CmsSignOptions& options) {
  std::optional<PrivateKey> key = KeyStore::Instance().FindPrivateKey(signer);
  if (!key) return Error{ErrorCode::NotFound, "no private key for the signer certificate"};
  return Create(signer, *key, options);
}

Result<CmsSigner> CmsSigner::Create(const Certificate& signer, const PrivateKey& key, const CmsSignOptions& options) {
  if (!key.Matches(signer)) return Error{ErrorCode::KeyMismatch, "the key does not belong to the signer certificate"};

  constexpr unsigned int kFlags = CMS_DETACHED | CMS_BINARY | CMS_PARTIAL | CMS_NOSMIMECAP;
  X509StackPtr extra(sk_X509_new_null());
  if (!extra) return OpenSslError(ErrorCode::Failed, "out of memory");
  for (const Certificate& certificate : options.extraCertificates) {
    X509* x509 = certificate.GetImpl().x509.get();
    if (sk_X509_push(extra.get(), x509) <= 0) return OpenSslError(ErrorCode::Failed, "out of memory");
    X509_up_ref(x509);
  }

  auto impl = std::make_unique<Impl>();
  impl->cms.reset(CMS_sign(nullptr, nullptr, extra.get(), nullptr, kFlags));
  if (!impl->cms) return OpenSslError(ErrorCode::Failed, "cannot start a SignedData");
  CMS_SignerInfo* signerInfo = CMS_add1_signer(impl->cms.get(), signer.GetImpl().x509.get(),
                                               key.GetImpl().key.get(), DigestMd(options.digest), kFlags);
  if (signerInfo == nullptr) return OpenSslError(ErrorCode::Failed, "cannot add the signer");

  if (options.signingTime) {
    std::unique_ptr<ASN1_TIME, OpenSslDeleter<ASN1_TIME_free>> time(ASN1_TIME_set(nullptr, *options.signingTime));
    if (!time || CMS_signed_add1_attr_by_NID(signerInfo, NID_pkcs9_signingTime, time->type, time.get(), -1) != 1) {
      return OpenSslError(ErrorCode::Failed, "cannot set the signing time");
    }
  }

  impl->data.reset(CMS_dataInit(impl->cms.get(), nullptr));
  if (!impl->data) return OpenSslError(ErrorCode::Failed, "cannot start the content digest");
  return CmsSigner(std::move(impl));
}

void CmsSigner::Update(ByteView data) {
  if (!impl_ || impl_->finished || impl_->failed) return;
  if (!WriteAll(impl_->data.get(), data)) impl_->failed = true;
}

Result<Bytes> CmsSigner::Finish() {
  if (!impl_ || impl_->finished) return Error{ErrorCode::Failed, "the signer was already finished"};
  impl_->finished = true;
  if (impl_->failed) return OpenSslError(ErrorCode::Failed, "cannot digest the data");
  if (CMS_dataFinal(impl_->cms.get(), impl_->data.get()) != 1) {
    return OpenSslError(ErrorCode::Failed, "cannot sign");
  }
  unsigned char* der = nullptr;
  const int length = i2d_CMS_ContentInfo(impl_->cms.get(), &der);
  if (length <= 0) return OpenSslError(ErrorCode::Failed, "cannot encode the SignedData");
  Bytes bytes(der, der + length);
  OPENSSL_free(der);
  return bytes;
}

Result<Bytes> CmsSign(const Certificate& signer, std::span<const ByteView> ranges, const CmsSignOptions& options) {
  auto cmsSigner = CmsSigner::Create(signer, options);
  if (!cmsSigner) return cmsSigner.GetError();
  for (const ByteView range : ranges) cmsSigner->Update(range);
  return cmsSigner->Finish();
}

Result<Bytes> CmsSign(const Certificate& signer, const PrivateKey& key, std::span<const ByteView> ranges,
                      const CmsSignOptions& options) {
  auto cmsSigner = CmsSigner::Create(signer, key, options);
  if (!cmsSigner) return cmsSigner.GetError();
  for (const ByteView range : ranges) cmsSigner->Update(range);
  return cmsSigner->Finish();
}

// ---- Verification ---------------------------------------------------------------------------------

namespace {

struct SignerState {
  CMS_SignerInfo* signerInfo = nullptr;  // owned by the ContentInfo
  X509* certificate = nullptr;           // owned by `certificates`
  const EVP_MD* md = nullptr;
  EvpMdCtxPtr digest;
};

}  // namespace

class CmsVerifier::Impl {
 public:
  CmsPtr cms;
  X509StackPtr certificates;
  std::vector<Certificate> known;  // looked at for a signer the SignedData does not carry
  std::vector<SignerState> signers;
  CmsVerifyResult result;

  bool Load(ByteView der);
  void Update(ByteView data) {
    for (SignerState& signer : signers) {
      if (signer.digest && !data.empty()) EVP_DigestUpdate(signer.digest.get(), data.data(), data.size());
    }
  }
  CmsVerifyResult Finish();
};

bool CmsVerifier::Impl::Load(ByteView der) {
  if (der.empty() || der.size() > static_cast<std::size_t>(LONG_MAX)) {
    result.problem = "no signature bytes";
    return false;
  }
  // The certificates read apart where the DER allows (see CmsCertificates.h); else the whole as it stands.
  std::optional<SeparatedCertificates> separated = SeparateCertificates(der);
  std::vector<Certificate> carried;
  for (std::size_t i = 0; separated && i < separated->certificates.size(); ++i) {
    auto certificate = Certificate::FromDer(separated->certificates[i]);
    if (!certificate) separated.reset();
    else carried.push_back(std::move(*certificate));
  }
  const ByteView parsed = separated ? ByteView(separated->signedData) : der;
  const unsigned char* cursor = parsed.data();
  cms.reset(d2i_CMS_ContentInfo(nullptr, &cursor, static_cast<long>(parsed.size())));
  if (!cms) {
    result.problem = "not a DER CMS ContentInfo";
    return false;
  }
  if (OBJ_obj2nid(CMS_get0_type(cms.get())) != NID_pkcs7_signed) {
    result.problem = "not a SignedData";
    return false;
  }
  STACK_OF(CMS_SignerInfo)* signerInfos = CMS_get0_SignerInfos(cms.get());
  if (signerInfos == nullptr || sk_CMS_SignerInfo_num(signerInfos) == 0) {
    result.problem = "the SignedData has no signer";
    return false;
  }
  if (separated) {
    certificates.reset(sk_X509_new_null());
    for (const Certificate& certificate : carried) {
      X509* x509 = certificate.GetImpl().x509.get();
      if (!certificates || sk_X509_push(certificates.get(), x509) <= 0) {
        result.problem = "out of memory";
        return false;
      }
      X509_up_ref(x509);
    }
    result.certificates = std::move(carried);
  } else {
    certificates.reset(CMS_get1_certs(cms.get()));
    if (certificates) {
      for (int i = 0; i < sk_X509_num(certificates.get()); ++i) {
        result.certificates.push_back(WrapX509(sk_X509_value(certificates.get(), i)));
      }
    }
  }

  for (int i = 0; i < sk_CMS_SignerInfo_num(signerInfos); ++i) {
    SignerState signer;
    signer.signerInfo = sk_CMS_SignerInfo_value(signerInfos, i);
    if (certificates) {
      for (int c = 0; c < sk_X509_num(certificates.get()); ++c) {
        X509* candidate = sk_X509_value(certificates.get(), c);
        if (CMS_SignerInfo_cert_cmp(signer.signerInfo, candidate) == 0) {
          signer.certificate = candidate;
          break;
        }
      }
    }
    for (std::size_t c = 0; signer.certificate == nullptr && c < known.size(); ++c) {
      X509* candidate = known[c].GetImpl().x509.get();
      if (CMS_SignerInfo_cert_cmp(signer.signerInfo, candidate) == 0) signer.certificate = candidate;
    }
    X509_ALGOR* digestAlgorithm = nullptr;
    CMS_SignerInfo_get0_algs(signer.signerInfo, nullptr, nullptr, &digestAlgorithm, nullptr);
    const ASN1_OBJECT* digestObject = nullptr;
    if (digestAlgorithm != nullptr) X509_ALGOR_get0(&digestObject, nullptr, nullptr, digestAlgorithm);
    signer.md = digestObject != nullptr ? EVP_get_digestbyobj(digestObject) : nullptr;
    if (signer.md != nullptr) {
      signer.digest.reset(EVP_MD_CTX_new());
      if (signer.digest && EVP_DigestInit_ex(signer.digest.get(), signer.md, nullptr) != 1) signer.digest.reset();
    }
    if (i == 0) {
      if (signer.certificate != nullptr) result.signer = WrapX509(signer.certificate);
      const int nid = signer.md != nullptr ? EVP_MD_get_type(signer.md) : NID_undef;
      if (nid == NID_sha1) result.digest = DigestAlgorithm::Sha1;
      if (nid == NID_sha256) result.digest = DigestAlgorithm::Sha256;
      result.signingTime = AttributeTime(signer.signerInfo);
    }
    signers.push_back(std::move(signer));
  }
  result.wellFormed = true;
  return true;
}

CmsVerifyResult CmsVerifier::Impl::Finish() {
  if (!result.wellFormed) {
    ERR_clear_error();
    return result;
  }
  bool allDigests = true;
  bool allSignatures = true;
  for (SignerState& signer : signers) {
    bool digestOk = false;
    bool signatureOk = false;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    const bool haveDigest =
        signer.digest && EVP_DigestFinal_ex(signer.digest.get(), digest, &digestLength) == 1;
    if (!haveDigest) {
      if (result.problem.empty()) result.problem = "unknown digest algorithm";
    } else if (signer.certificate == nullptr) {
      if (result.problem.empty()) result.problem = "the signer certificate is not included";
    }

    if (CMS_signed_get_attr_count(signer.signerInfo) > 0) {
      const auto* messageDigest = static_cast<const ASN1_OCTET_STRING*>(CMS_signed_get0_data_by_OBJ(
          signer.signerInfo, OBJ_nid2obj(NID_pkcs9_messageDigest), -3, V_ASN1_OCTET_STRING));
      digestOk = haveDigest && messageDigest != nullptr &&
                 static_cast<unsigned int>(ASN1_STRING_length(messageDigest)) == digestLength &&
                 std::equal(digest, digest + digestLength, ASN1_STRING_get0_data(messageDigest));
      if (signer.certificate != nullptr) {
        CMS_SignerInfo_set1_signer_cert(signer.signerInfo, signer.certificate);
        signatureOk = CMS_SignerInfo_verify(signer.signerInfo) == 1;
      }
    } else if (haveDigest && signer.certificate != nullptr) {
      // Without signed attributes the signature is made over the content digest itself, so one
      // check answers both questions.
      const ASN1_OCTET_STRING* signature = CMS_SignerInfo_get0_signature(signer.signerInfo);
      EVP_PKEY* publicKey = X509_get0_pubkey(signer.certificate);
      EvpPkeyCtxPtr context(publicKey != nullptr ? EVP_PKEY_CTX_new(publicKey, nullptr) : nullptr);
      signatureOk = context && signature != nullptr && EVP_PKEY_verify_init(context.get()) == 1 &&
                    EVP_PKEY_CTX_set_signature_md(context.get(), signer.md) == 1 &&
                    EVP_PKEY_verify(context.get(), ASN1_STRING_get0_data(signature),
                                    static_cast<std::size_t>(ASN1_STRING_length(signature)), digest,
                                    digestLength) == 1;
      digestOk = signatureOk;
    }
    if (!digestOk && result.problem.empty()) result.problem = "the data does not match the signed digest";
    if (!signatureOk && result.problem.empty()) result.problem = "the signature does not verify";
    allDigests = allDigests && digestOk;
    allSignatures = allSignatures && signatureOk;
  }
  result.digestMatches = allDigests;
  result.signatureValid = allSignatures;
  ERR_clear_error();
  return result;
}

CmsVerifier::CmsVerifier(ByteView signedDataDer, std::span<const Certificate> knownCertificates)
    : impl_(std::make_unique<Impl>()) {
  impl_->known.assign(knownCertificates.begin(), knownCertificates.end());
  if (!impl_->Load(signedDataDer)) {
    impl_->signers.clear();
    ERR_clear_error();
  }
}
CmsVerifier::CmsVerifier(CmsVerifier&&) noexcept = default;
CmsVerifier& CmsVerifier::operator=(CmsVerifier&&) noexcept = default;
CmsVerifier::~CmsVerifier() = default;

void CmsVerifier::Update(ByteView data) {
  if (impl_) impl_->Update(data);
}

CmsVerifyResult CmsVerifier::Finish() {
  if (!impl_) return {};
  CmsVerifyResult result = impl_->Finish();
  impl_.reset();
  return result;
}

CmsVerifyResult CmsVerify(ByteView signedDataDer, std::span<const ByteView> ranges,
                          std::span<const Certificate> knownCertificates) {
  CmsVerifier verifier(signedDataDer, knownCertificates);
  for (const ByteView range : ranges) verifier.Update(range);
  return verifier.Finish();
}

namespace {

// The content a parsed SignedData carries inside itself; nullopt when it is not a SignedData or detached.
std::optional<Bytes> CarriedContent(CMS_ContentInfo* cms) {
  if (cms == nullptr || OBJ_obj2nid(CMS_get0_type(cms)) != NID_pkcs7_signed) return std::nullopt;
  ASN1_OCTET_STRING** carried = CMS_get0_content(cms);  // owned by the ContentInfo
  if (carried == nullptr || *carried == nullptr) return std::nullopt;
  const unsigned char* data = ASN1_STRING_get0_data(*carried);
  return Bytes(data, data + ASN1_STRING_length(*carried));
}

}  // namespace

std::optional<Bytes> CmsVerifier::EncapsulatedContent() const {
  return impl_ && impl_->result.wellFormed ? CarriedContent(impl_->cms.get()) : std::nullopt;
}

std::optional<Bytes> CmsEncapsulatedContent(ByteView signedDataDer) {
  if (signedDataDer.empty() || signedDataDer.size() > static_cast<std::size_t>(LONG_MAX)) return std::nullopt;
  // The content does not need the certificates, whose public keys cost the most to parse.
  const std::optional<SeparatedCertificates> separated = SeparateCertificates(signedDataDer);
  const ByteView parsed = separated ? ByteView(separated->signedData) : signedDataDer;
  const unsigned char* cursor = parsed.data();
  const CmsPtr cms(d2i_CMS_ContentInfo(nullptr, &cursor, static_cast<long>(parsed.size())));
  std::optional<Bytes> content = CarriedContent(cms.get());
  ERR_clear_error();
  return content;
}

// ---- DER framing ----------------------------------------------------------------------------------

namespace {

// Length of the element at `bytes` (header and content), 0 when incomplete or malformed.
std::size_t ElementLength(ByteView bytes, int depth) {
  if (depth > 64 || bytes.size() < 2) return 0;
  std::size_t position = 1;
  const bool constructed = (bytes[0] & 0x20) != 0;
  if ((bytes[0] & 0x1F) == 0x1F) {  // high tag number
    while (position < bytes.size() && (bytes[position] & 0x80) != 0) ++position;
    ++position;
  }
  if (position >= bytes.size()) return 0;
  const std::uint8_t first = bytes[position++];
  if (first == 0x80) {
    // Indefinite length (BER): children until an end-of-contents marker.
    if (!constructed) return 0;
    while (true) {
      if (position + 2 > bytes.size()) return 0;
      if (bytes[position] == 0 && bytes[position + 1] == 0) return position + 2;
      const std::size_t child = ElementLength(bytes.subspan(position), depth + 1);
      if (child == 0) return 0;
      position += child;
    }
  }
  std::size_t length = first;
  if ((first & 0x80) != 0) {
    const std::size_t count = first & 0x7F;
    if (count > sizeof(std::size_t) || position + count > bytes.size()) return 0;
    length = 0;
    for (std::size_t i = 0; i < count; ++i) length = (length << 8) | bytes[position++];
  }
  if (length > bytes.size() - position) return 0;
  return position + length;
}

}  // namespace

std::size_t DerElementLength(ByteView bytes) { return ElementLength(bytes, 0); }

}  // namespace sealrun::platform::crypto
