#pragma once
// Shared by the server-made signature tests: the engine, a copied corpus file with a new signature field, a
// signing server inside the test process (its answers can be spoiled on purpose), and checks of the merged
// CMS with OpenSSL's command line.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <mutex>
#include <regex>
#include <string>
#include <vector>

#include "external/QpHandles.h"
#include "platform/crypto/Certificate.h"
#include "platform/crypto/Cms.h"
#include "platform/crypto/Pkcs1.h"
#include "platform/crypto/PrivateKey.h"
#include "platform/text/Utf.h"
#include "protocol/Packet.h"
#include "protocol/PacketParse.h"
#include "protocol/PacketTransport.h"
#include "protocol/StandardBase64.h"
#include "protocol/TramexFields.h"
#include "signing/SignOnline.h"
#include "support/Base64.h"
#include "tests/testsupport/TempDir.h"
#include "tests/testsupport/TestCertificates.h"
#include "tests/testsupport/ToolRun.h"

namespace sealrun::signing::testing {

namespace crypto = platform::crypto;
using protocol::PacketField;

using external::DocumentHandle;
using external::EngineHandle;
using external::SignatureHandle;
using external::StartEngine;
using external::StringHandle;

// A document opened from path with a new signature field "Signature<n+1>" on its first page, not saved.
struct SignableDocument {
  DocumentHandle document;
  SignatureHandle signature;
};

inline SignableDocument OpenWithNewField(qp_engine engine, const std::filesystem::path& path) {
  SignableDocument out;
  out.document = external::OpenDocument(engine, path.u16string());
  if (!out.document) return {};
  qp_document document = out.document.get();
  const external::PageHandle page = external::LoadPage(document, 0);
  if (!page) return {};
  const int existing = qp_acroform_signature_count(document);
  qp_field field = qp_acroform_create_form_field(document, QP_FIELD_SIGNATURE);
  if (existing < 0 || field == nullptr) return {};
  const StringHandle name =
      external::MakeEngineString(u"Signature" + platform::text::Utf8ToUtf16(std::to_string(existing + 1)));
  if (!name || qp_field_set_name(field, name.get()) != QP_OK) return {};
  out.signature.reset(qp_field_create_signature(field));
  qp_annot widget = qp_page_add_form_field(page.get(), field);
  if (!out.signature || widget == nullptr || qp_annot_set_rect(widget, 20, 20, 120, 80) != QP_OK) return {};
  const std::string record = "record";
  if (qp_field_set_private_data(field, "QPX", record.data(), static_cast<int>(record.size())) != QP_OK) return {};
  return out;
}

// A copy of a corpus file in the folder.
inline std::filesystem::path CopyCorpus(const std::string& name, const sealrun::testing::TempDir& folder) {
  const std::filesystem::path copy = folder / name;
  std::filesystem::copy_file(sealrun::testing::CorpusFile(name), copy, std::filesystem::copy_options::overwrite_existing);
  // The corpus may be read-only; the copy is the file the test seals.
  std::filesystem::permissions(copy, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
  return copy;
}

using ToolResult = sealrun::testing::ToolRun;
using sealrun::testing::RunTool;
inline std::string Quote(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

inline int CountOf(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The last signature of a saved file: its CMS (the DER inside /Contents, padding dropped) and the signed bytes.
struct LastSignature {
  std::vector<std::uint8_t> cms;
  std::string signedBytes;
};
inline std::optional<LastSignature> ReadLastSignature(const std::filesystem::path& path) {
  const std::string file = sealrun::testing::ReadFileBytes(path);
  const std::regex byteRange(R"(/ByteRange\s*\[\s*(\d+)\s+(\d+)\s+(\d+)\s+(\d+)\s*\])");
  std::smatch last;
  for (auto it = std::sregex_iterator(file.begin(), file.end(), byteRange); it != std::sregex_iterator(); ++it) last = *it;
  if (last.empty()) return std::nullopt;
  const std::size_t a = std::stoul(last[1]), b = std::stoul(last[2]), c = std::stoul(last[3]), d = std::stoul(last[4]);
  if (a + b > c || c + d > file.size()) return std::nullopt;
  LastSignature out;
  out.signedBytes = file.substr(a, b) + file.substr(c, d);
  const std::string hex = file.substr(a + b + 1, c - (a + b) - 2);
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out.cms.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  const std::size_t length = crypto::DerElementLength(out.cms);
  if (length == 0) return std::nullopt;
  out.cms.resize(length);
  return out;
}

// How the in-process server spoils its answer to a signing request.
enum class Spoil {
  None,
  Refuse,              // STATUS "REFUSED"
  NoCertificate,       // OK and a signature, no CERTCONTEXT
  EmptySignature,      // OK, a certificate, an empty SIGNRESULT
  SignatureNotBase64,  // OK, SIGNRESULT with symbols outside Base64
  WrongSignature,      // OK, random bytes in place of the signature
  OtherCertificate,    // OK, a correct signature but another key's certificate
  CertificateGarbage,  // OK, CERTCONTEXT that is Base64 but no certificate
  NoAnswer,            // the exchange gives nothing (no server, HTTP error, time-out)
  NotAPacket,          // HTML instead of a packet
};

// A signing server inside the test: answers as tramex-server does, records every request it gets.
class InProcessSigningServer final : public protocol::PacketTransport {
 public:
  explicit InProcessSigningServer(Spoil spoil = Spoil::None)
      : spoil_(spoil),
        identity_(sealrun::testing::SharedTestIdentity()),
        certificate_(*crypto::Certificate::FromDer(identity_.certificateDer)),
        key_(*crypto::PrivateKey::FromPem(identity_.privateKeyPem)) {}

  std::string Exchange(std::string_view url, std::string_view packet) override {
    const std::lock_guard lock(mutex_);
    urls_.emplace_back(url);
    std::optional<std::vector<PacketField>> fields = protocol::ParsePacket(packet);
    requests_.push_back(fields.value_or(std::vector<PacketField>{}));
    if (!fields) return Answer({{u"STATUS", u"MALFORMED"}});
    if (protocol::FindField(*fields, u"COMMAND") == u"VERIFYSIGNATURE") return Answer({{u"STATUS", u"OK"}});
    if (spoil_ == Spoil::NoAnswer) return {};
    if (spoil_ == Spoil::NotAPacket) return "<html><body>Service Unavailable</body></html>";
    if (spoil_ == Spoil::Refuse) return Answer({{u"STATUS", u"REFUSED"}});
    const std::optional<std::vector<std::uint8_t>> attributes =
        protocol::DecodeStandardBase64(protocol::FindField(*fields, u"CERTTEXT").value_or(u""));
    if (!attributes) return Answer({{u"STATUS", u"MALFORMED"}});
    crypto::Bytes signature = *crypto::SignPkcs1Sha1(key_, *attributes);
    crypto::Bytes certificate = certificate_.Der();
    if (spoil_ == Spoil::WrongSignature) {
      for (std::size_t i = 0; i < signature.size(); ++i) signature[i] = static_cast<std::uint8_t>(i * 7 + 1);
    }
    if (spoil_ == Spoil::OtherCertificate) {
      sealrun::testing::TestCertificateOptions other;
      other.commonName = "Somebody Else";
      other.freshKey = true;
      certificate = sealrun::testing::MakeSelfSignedForTesting(other).certificateDer;
    }
    std::u16string signResult = Text(support::Base64Encode(signature));
    std::u16string certContext = Text(support::Base64Encode(certificate));
    if (spoil_ == Spoil::EmptySignature) signResult.clear();
    if (spoil_ == Spoil::SignatureNotBase64) signResult = u"not base64 at all!";
    if (spoil_ == Spoil::CertificateGarbage) certContext = u"AAECAwQFBgcICQ==";
    std::vector<PacketField> answer = {{u"STATUS", u"OK"}, {u"SIGNRESULT", signResult}};
    if (spoil_ != Spoil::NoCertificate) answer.push_back({u"CERTCONTEXT", certContext});
    return Answer(answer);
  }

  std::vector<std::vector<PacketField>> Requests() const {
    const std::lock_guard lock(mutex_);
    return requests_;
  }
  std::vector<std::string> Urls() const {
    const std::lock_guard lock(mutex_);
    return urls_;
  }
  const crypto::Certificate& Certificate() const { return certificate_; }

 private:
  static std::u16string Text(const std::string& ascii) { return platform::text::Utf8ToUtf16(ascii); }
  static std::string Answer(const std::vector<PacketField>& fields) { return protocol::BuildPacket(fields); }

  Spoil spoil_;
  const sealrun::testing::TestIdentity& identity_;
  crypto::Certificate certificate_;
  crypto::PrivateKey key_;
  mutable std::mutex mutex_;
  std::vector<std::vector<PacketField>> requests_;
  std::vector<std::string> urls_;
};


// A test of online signing: an engine, a folder for corpus copies, and a signing whose saves are staged and
// committed only when the signer succeeds, as the run does.
class OnlineSigningFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    engine_ = StartEngine();
    ASSERT_TRUE(engine_);
  }

  std::filesystem::path Copy(const std::string& name) {
    std::filesystem::path path = CopyCorpus(name, folder_);
    if (path.empty()) ADD_FAILURE() << "corpus file " << name << " missing";
    return path;
  }

  // The file with a new signature field signed by `signer`; an engine failure 9999 when the field cannot be
  // made.
  StampResult SignWith(const std::filesystem::path& path, const OnlineSigner& signer) {
    SignableDocument prepared = OpenWithNewField(engine_.get(), path);
    if (!prepared.signature) {
      ADD_FAILURE() << "no signature field could be made in " << path;
      return {StampFailure::EngineFailed, 9999};
    }
    return SignOnlineAndCommit(signer, prepared.document.get(), prepared.signature.get());
  }

  int SignatureCount(const std::filesystem::path& path) {
    const DocumentHandle document = external::OpenDocument(engine_.get(), path.u16string());
    return document ? qp_acroform_signature_count(document.get()) : -100;
  }

  EngineHandle engine_;
  sealrun::testing::TempDir folder_;
};

}  // namespace sealrun::signing::testing
