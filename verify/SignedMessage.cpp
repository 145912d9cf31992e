#include "verify/SignedMessage.h"

#include <array>
#include <optional>
#include <span>
#include <vector>

#include "external/QpHandles.h"
#include "platform/crypto/Cms.h"
#include "platform/crypto/PemArmour.h"
#include "platform/text/Utf.h"
#include "verify/PdfNames.h"
#include "verify/SignatureInfoCodec.h"

namespace sealrun::verify {

namespace crypto = platform::crypto;

namespace {

using external::CosHandle;

enum class Stored { Absent, Unreadable, Read };

// The decoded bytes of the annotation's stream under `key`.
Stored ReadStream(qp_annot annotation, const char* key, std::string& bytes) {
  const CosHandle dict(qp_annot_get_cosobject(annotation));
  const CosHandle stream(dict ? qp_cos_dict_gets(dict.get(), key) : nullptr);
  if (!stream) return Stored::Absent;
  if (!qp_cos_is_stream(stream.get())) return Stored::Unreadable;
  // Decoded no further than a message can be long (the stream may be a flate bomb). Messages are a few
  // kilobytes: a small buffer first, the whole bound only for data that goes on.
  for (const std::size_t bound : {std::size_t{16 * 1024}, kMaxSignedMessageBytes}) {
    bytes.resize(bound);
    std::size_t length = 0;
    const int read = qp_cos_stream_to_buffer_bounded(stream.get(), bytes.data(), bytes.size(), &length);
    if (read == QP_OK) {
      bytes.resize(length);
      return Stored::Read;
    }
    if (read != QP_ERR_BUFFER) break;
  }
  return Stored::Unreadable;
}

// The stored text: UTF-16LE as this system writes it, or single bytes as others may. Zero units at the end
// are a terminator some writers keep.
std::string StoredText(const std::string& bytes) {
  bool wide = bytes.size() % 2 == 0 && !bytes.empty();
  for (std::size_t i = 1; wide && i < bytes.size(); i += 2) wide = bytes[i] == '\0';
  std::string text;
  if (wide) {
    for (std::size_t i = 0; i < bytes.size(); i += 2) text.push_back(bytes[i]);
  } else {
    text = bytes;
  }
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

// DER bytes from what a stream holds: Base64 text, armoured text, or the DER itself.
std::optional<crypto::Bytes> DerOf(const std::string& bytes) {
  const crypto::ByteView raw = crypto::AsBytes(bytes);
  if (!raw.empty() && raw[0] == 0x30 && crypto::DerElementLength(raw) == raw.size()) return crypto::Bytes(raw.begin(), raw.end());
  const std::string text = StoredText(bytes);
  if (crypto::HasPemArmour(text)) {
    auto block = crypto::FindPemBlock(text);
    if (!block) return std::nullopt;
    return std::move(block->der);
  }
  return crypto::DecodeBase64(text);
}

std::optional<crypto::Certificate> CertificateOf(const std::string& bytes) {
  const std::optional<crypto::Bytes> der = DerOf(bytes);
  if (!der) return std::nullopt;
  auto certificate = crypto::Certificate::FromDer(*der);
  if (!certificate) return std::nullopt;
  return std::move(*certificate);
}

std::string Utf16LeBytes(std::u16string_view text) {
  std::string bytes;
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

SignedMessageCheck Invalid(std::string problem) {
  SignedMessageCheck check;
  check.state = SignedMessageState::Invalid;
  check.problem = std::move(problem);
  return check;
}

}  // namespace

SignedMessageCheck CheckSignedMessage(qp_annot annotation, std::u16string_view record) {
  std::string message;
  const Stored stored = ReadStream(annotation, kSignedMessageKey, message);
  if (stored == Stored::Absent || (stored == Stored::Read && StoredText(message).empty())) return {};
  if (stored == Stored::Unreadable) return Invalid("the signed message cannot be read");
  const std::optional<crypto::Bytes> der = DerOf(message);
  if (!der) return Invalid("the signed message is not Base64 of a SignedData");

  std::string certificateBytes;
  if (ReadStream(annotation, kCertificateKey, certificateBytes) != Stored::Read)
    return Invalid("no certificate names the signer");
  const std::optional<crypto::Certificate> named = CertificateOf(certificateBytes);
  if (!named) return Invalid("the signer's certificate does not parse");

  const std::optional<std::u16string> fingerprint = FindSignatureInfoValue(ParseSignatureInfo(record), u"strMd5");
  if (!fingerprint || fingerprint->empty()) return Invalid("the record stores no fingerprint");
  const std::array<std::string, 2> forms{platform::text::Utf16ToUtf8(*fingerprint), Utf16LeBytes(*fingerprint)};

  // The message's data is the stored fingerprint in one of its forms; a detached message is tried with each.
  // The message is parsed once for its content and the first form checked; another form needs a verifier of
  // its own.
  const std::span<const crypto::Certificate> known(&*named, 1);
  crypto::CmsVerifier first(*der, known);
  const std::optional<crypto::Bytes> carried = first.EncapsulatedContent();
  std::vector<std::string> candidates;
  for (const std::string& form : forms) {
    if (!carried || crypto::AsChars(*carried) == form) candidates.push_back(form);
  }
  if (candidates.empty()) return Invalid("the message signs another fingerprint than the record stores");
  std::string problem;
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    crypto::CmsVerifier verifier = i == 0 ? std::move(first) : crypto::CmsVerifier(*der, known);
    verifier.Update(crypto::AsBytes(candidates[i]));
    const crypto::CmsVerifyResult verified = verifier.Finish();
    if (!verified.Valid()) {
      problem = verified.problem;
      continue;
    }
    if (!verified.signer || !(*verified.signer == *named))
      return Invalid("the message is signed by another certificate than /certContext names");
    SignedMessageCheck check;
    check.state = SignedMessageState::Valid;
    check.signer = named;
    return check;
  }
  return Invalid("the signed message does not verify over the stored fingerprint: " + problem);
}

}  // namespace sealrun::verify
