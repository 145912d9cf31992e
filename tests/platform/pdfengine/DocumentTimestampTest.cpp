// Document timestamps (/SubFilter /ETSI.RFC3161): their token is checked over the byte ranges, not taken
// for a detached signature of them; cross-checked with `openssl ts -verify`.
#include <cstdio>

#include "platform/crypto/Certificate.h"
#include "platform/text/Utf.h"
#include "tests/platform/pdfengine/EngineFixture.h"

namespace sealrun::platform::pdfengine::testing {
namespace {

namespace crypto = sealrun::platform::crypto;
using sealrun::testing::ReadFileBytes;
using sealrun::testing::WriteFileBytes;

// A PAdES signature, then a revision with the DSS, then a document timestamp over both.
constexpr char kStamped[] = "pyhanko-pades-lta-dss-indirect-arrs-test.pdf";

class DocumentTimestampTest : public EngineTest {
 protected:
  struct Judged {
    int isTimestamp = -1;
    int verified = -1;
    std::string signer;  // the certificate's common name
    int64_t range[4] = {};
  };

  std::vector<Judged> JudgeAll(const std::filesystem::path& path) {
    std::vector<Judged> all;
    DocumentHandle document = Open(path);
    if (!document) return all;
    for (qp_field field = qp_load_acroform_field(document.get()); field != nullptr; field = qp_field_next(field)) {
      SignatureHandle signature(qp_field_get_signature(field));
      if (!signature) continue;
      Judged judged;
      judged.isTimestamp = qp_signature_is_document_timestamp(signature.get());
      qp_certificate raw = nullptr;
      judged.verified = qp_signature_verify(signature.get(), &raw);
      const external::CertificateHandle certificate(raw);
      std::size_t length = 0;
      if (certificate && qp_certificate_get_der(certificate.get(), nullptr, &length) == QP_OK) {
        std::vector<std::uint8_t> der(length);
        if (qp_certificate_get_der(certificate.get(), der.data(), &length) == QP_OK) {
          if (auto parsed = crypto::Certificate::FromDer(der)) judged.signer = platform::text::Utf16ToUtf8(parsed->SubjectName());
        }
      }
      EXPECT_EQ(qp_signature_get_byte_range(signature.get(), judged.range), QP_OK);
      all.push_back(judged);
    }
    return all;
  }

  // The token's DER as the timestamp's /Contents holds it (hex between the two ranges).
  static std::string TokenDer(const std::string& file, const int64_t range[4]) {
    std::string der;
    for (auto at = static_cast<std::size_t>(range[1]) + 1; at + 1 < static_cast<std::size_t>(range[2]) - 1; at += 2) {
      unsigned value = 0;
      if (std::sscanf(file.c_str() + at, "%2x", &value) != 1) break;
      der.push_back(static_cast<char>(value));
    }
    // The first element's length: the padding after it is not part of the token.
    const std::size_t length = 4 + ((static_cast<unsigned char>(der[2]) << 8) | static_cast<unsigned char>(der[3]));
    return der.substr(0, length);
  }
};

TEST_F(DocumentTimestampTest, TheCorpusTimestampIsValidAndAgreesWithOpenssl) {
  const auto path = CopyCorpus(kStamped);
  const auto judged = JudgeAll(path);
  ASSERT_EQ(judged.size(), 2u);
  EXPECT_EQ(judged[0].isTimestamp, 0);
  EXPECT_EQ(judged[0].verified, QP_OK);
  EXPECT_EQ(judged[1].isTimestamp, 1);
  EXPECT_EQ(judged[1].verified, QP_OK) << "a document timestamp is not a detached signature";
  EXPECT_EQ(judged[1].signer, "Time Stamping Authority");

  // openssl agrees: the token stamps the ranges (its own certificate taken as the anchor).
  const std::string file = ReadFileBytes(path);
  const int64_t* range = judged[1].range;
  WriteFileBytes(temp_ / "token.der", TokenDer(file, range));
  WriteFileBytes(temp_ / "ranges.bin", file.substr(0, static_cast<std::size_t>(range[1])) +
                                           file.substr(static_cast<std::size_t>(range[2]), static_cast<std::size_t>(range[3])));
  ASSERT_EQ(RunTool("openssl pkcs7 -inform DER -in " + Quote(temp_ / "token.der") + " -print_certs -out " +
                    Quote(temp_ / "certificates.pem")).exitCode, 0);
  const ToolResult openssl = RunTool("openssl ts -verify -token_in -in " + Quote(temp_ / "token.der") + " -data " +
                                     Quote(temp_ / "ranges.bin") + " -CAfile " + Quote(temp_ / "certificates.pem") +
                                     " -partial_chain -no_check_time");
  EXPECT_EQ(openssl.exitCode, 0) << openssl.output;
}

TEST_F(DocumentTimestampTest, ChangedStampedBytesOrAChangedTokenMakeTheTimestampInvalid) {
  const auto intact = CopyCorpus(kStamped);
  const auto judged = JudgeAll(intact);
  ASSERT_EQ(judged.size(), 2u);
  const std::string file = ReadFileBytes(intact);

  // One byte of a certificate kept in the DSS: covered by the timestamp, not by the first signature.
  std::string changed = file;
  const std::size_t firstEnd = static_cast<std::size_t>(judged[0].range[2] + judged[0].range[3]);
  const std::size_t stream = changed.find("stream\n", firstEnd);
  ASSERT_LT(stream + 40, static_cast<std::size_t>(judged[1].range[1]));
  changed[stream + 40] = static_cast<char>(changed[stream + 40] ^ 0x01);
  WriteFileBytes(temp_ / "stamped-bytes.pdf", changed);
  auto after = JudgeAll(temp_ / "stamped-bytes.pdf");
  ASSERT_EQ(after.size(), 2u);
  EXPECT_EQ(after[0].verified, QP_OK) << "the first signature's revision is untouched";
  EXPECT_EQ(after[1].verified, QP_ERR_VERIFY);

  // The last hex digit of the token: its signature value.
  changed = file;
  const std::size_t tokenLength = TokenDer(file, judged[1].range).size();
  const std::size_t lastDigit = static_cast<std::size_t>(judged[1].range[1]) + 2 * tokenLength;
  changed[lastDigit] = changed[lastDigit] == '0' ? '1' : '0';
  WriteFileBytes(temp_ / "token.pdf", changed);
  after = JudgeAll(temp_ / "token.pdf");
  ASSERT_EQ(after.size(), 2u);
  EXPECT_EQ(after[0].verified, QP_OK);
  EXPECT_EQ(after[1].isTimestamp, 1);
  EXPECT_EQ(after[1].verified, QP_ERR_VERIFY);
  EXPECT_EQ(after[1].signer, "Time Stamping Authority") << "the authority is still named";
}

}  // namespace
}  // namespace sealrun::platform::pdfengine::testing
