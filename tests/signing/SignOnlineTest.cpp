// Server-made signatures against a signing server inside the test: what is asked of the server, the DER
// and CMS that end up in the file (checked with OpenSSL and pdfsig), and that every kind of refusal leaves
// the file exactly as it was.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <regex>

#include "platform/crypto/Digest.h"
#include "signing/SignOnline.h"
#include "tests/signing/SignOnlineTestSupport.h"

namespace sealrun::signing::testing {
namespace {

using sealrun::testing::ReadFileBytes;
using sealrun::testing::TempDir;
using sealrun::testing::WriteFileBytes;

std::vector<std::u16string> NamesOf(const std::vector<PacketField>& fields) {
  std::vector<std::u16string> names;
  for (const PacketField& field : fields) names.push_back(field.name);
  return names;
}

std::u16string ValueOf(const std::vector<PacketField>& fields, std::u16string_view name) {
  return protocol::FindField(fields, name).value_or(u"<absent>");
}

// The signed attributes spelled out byte by byte: SET { SEQ { contentType, SET { data } },
// SEQ { messageDigest, SET { OCTET STRING digest } } }.
std::vector<std::uint8_t> ExpectedAttributes(const crypto::Bytes& digest) {
  constexpr std::uint8_t kPrefix[] = {0x31, 0x3F,
                                      0x30, 0x18, 0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x03,
                                      0x31, 0x0B, 0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x01,
                                      0x30, 0x23, 0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x04,
                                      0x31, 0x16, 0x04, 0x14};
  // Sized once and filled in place (GCC 12 warns falsely about growing the vector with insert).
  std::vector<std::uint8_t> der(sizeof kPrefix + digest.size());
  std::copy(std::begin(kPrefix), std::end(kPrefix), der.begin());
  std::copy(digest.begin(), digest.end(), der.begin() + static_cast<std::ptrdiff_t>(sizeof kPrefix));
  return der;
}

class SignOnlineTest : public OnlineSigningFixture {
 protected:
  StampResult Sign(const std::filesystem::path& path, protocol::PacketTransport& server,
                   OnlineSigningTrace* trace = nullptr) {
    return SignWith(path, [&](qp_signature signature) { return SignOnline(signature, request_, server, trace); });
  }

  OnlineSigningRequest request_{u"http://signing.example:8080/tramex", u"ZQ-DEMO-0001", u"SEAL-0007"};
};

TEST(SignOnlineSettings, OptionsTextAndReservedRoom) {
  EXPECT_EQ(SignatureLengthFromOptions(kOnlineSigningOptions), 8192);
  EXPECT_EQ(SignatureLengthFromOptions(u"hash,sha1,LEN,4096"), 4096);
  EXPECT_EQ(SignatureLengthFromOptions(u"hash,sha1,size,4096"), 0);
  EXPECT_EQ(SignatureLengthFromOptions(u"hash,sha1,len"), 0) << "only four parts are split";
  EXPECT_EQ(SignatureLengthFromOptions(u"hash,sha1,len,4096,x"), 0);
  EXPECT_EQ(SignatureLengthFromOptions(u"hash,sha1,len,abc"), 0);
  EXPECT_EQ(SignatureLengthFromOptions(u"hash,sha1,len,99999999999"), 0) << "no overflow into a tiny room";
  EXPECT_EQ(SignatureReserveSize(-1, 8192), 12384u);
  EXPECT_EQ(SignatureReserveSize(-1, 0), 12384u);
  EXPECT_EQ(SignatureReserveSize(0, 8192), 8192u);
  EXPECT_EQ(SignatureReserveSize(0, 0), 8192u);
}

TEST(SignOnlineSettings, RequestNumberIsDigitsThenTheLocalTime) {
  const std::time_t before = std::time(nullptr);
  const std::string number = platform::text::Utf16ToUtf8(MakeRequestNumber());
  const std::time_t after = std::time(nullptr);
  ASSERT_TRUE(std::regex_match(number, std::regex(R"(\d{4,5}\d{14})"))) << number;
  std::tm local{};
  localtime_r(&before, &local);
  char early[16];
  std::strftime(early, sizeof early, "%Y%m%d%H%M%S", &local);
  localtime_r(&after, &local);
  char late[16];
  std::strftime(late, sizeof late, "%Y%m%d%H%M%S", &local);
  const std::string when = number.substr(number.size() - 14);
  EXPECT_TRUE(when == early || when == late) << when;
}

TEST_F(SignOnlineTest, MergedSignatureIsValidAndNamesTheServersCertificate) {
  const std::filesystem::path path = Copy("pypdf-crazyones.pdf");
  ASSERT_FALSE(path.empty());
  const std::size_t originalSize = ReadFileBytes(path).size();
  InProcessSigningServer server;
  OnlineSigningTrace trace;
  ASSERT_EQ(Sign(path, server, &trace).Code(), 0);
  EXPECT_EQ(trace.status, u"OK");

  // The engine, OpenSSL and poppler all accept the signature.
  const DocumentHandle document = external::OpenDocument(engine_.get(), path.u16string());
  ASSERT_TRUE(document);
  const SignatureHandle signature(qp_field_get_signature(qp_load_acroform_field(document.get())));
  ASSERT_TRUE(signature);
  EXPECT_EQ(qp_signature_verify(signature.get(), nullptr), QP_OK);
  int64_t range[4] = {};
  ASSERT_EQ(qp_signature_get_byte_range(signature.get(), range), QP_OK);
  EXPECT_EQ((range[2] - range[1] - 2) / 2, 12384) << "12384 bytes reserved for L = 8192";
  EXPECT_EQ(range[0], 0);
  EXPECT_GT(range[1], static_cast<int64_t>(originalSize)) << "one update appended to the original";

  const std::optional<LastSignature> last = ReadLastSignature(path);
  ASSERT_TRUE(last.has_value());
  WriteFileBytes(folder_ / "cms.der", std::string(last->cms.begin(), last->cms.end()));
  WriteFileBytes(folder_ / "content.bin", last->signedBytes);
  const ToolResult verified = RunTool("openssl cms -verify -binary -noverify -inform DER -in " + Quote(folder_ / "cms.der") +
                                      " -content " + Quote(folder_ / "content.bin") + " -out /dev/null");
  EXPECT_EQ(verified.exitCode, 0) << verified.output;
  const ToolResult judged = RunTool("pdfsig " + Quote(path));
  EXPECT_EQ(CountOf(judged.output, "Signature is Valid"), 1) << judged.output;
  EXPECT_NE(judged.output.find("Sealrun Test Signer"), std::string::npos) << judged.output;
  EXPECT_NE(judged.output.find("SHA1"), std::string::npos) << judged.output;

  // The CMS: version 1, SHA-1, detached data, the certificate, issuer and serial (0x1001, big-endian), the
  // two signed attributes and no unsigned ones.
  const ToolResult printed = RunTool("openssl cms -cmsout -print -inform DER -in " + Quote(folder_ / "cms.der"));
  ASSERT_EQ(printed.exitCode, 0) << printed.output;
  EXPECT_NE(printed.output.find("contentType: pkcs7-signedData"), std::string::npos);
  EXPECT_EQ(CountOf(printed.output, "version: 1"), 2) << printed.output;
  EXPECT_NE(printed.output.find("algorithm: sha1"), std::string::npos);
  EXPECT_NE(printed.output.find("serialNumber: 4097"), std::string::npos) << printed.output;
  EXPECT_NE(printed.output.find("eContent: <ABSENT>"), std::string::npos);
  EXPECT_NE(printed.output.find("unsignedAttrs:\n          <ABSENT>"), std::string::npos) << printed.output;
  EXPECT_NE(printed.output.find("algorithm: rsaEncryption"), std::string::npos);

  // The signing request: its fields in order, the attributes over the digest of the signed bytes.
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(server.Urls().front(), "http://signing.example:8080/tramex");
  EXPECT_EQ(NamesOf(requests[0]), (std::vector<std::u16string>{u"TRAMEX", u"OPTION", u"KEYSN", u"SIGNSN", u"CERTTEXT", u"CN"}));
  EXPECT_EQ(ValueOf(requests[0], u"TRAMEX"), u"TRAMEX");
  EXPECT_EQ(ValueOf(requests[0], u"OPTION"), u"SIGNCONTEXT");
  EXPECT_EQ(ValueOf(requests[0], u"KEYSN"), u"ZQ-DEMO-0001");
  EXPECT_EQ(ValueOf(requests[0], u"SIGNSN"), u"SEAL-0007");
  const crypto::Bytes digest = crypto::Sha1(crypto::AsBytes(last->signedBytes));
  const auto attributes = protocol::DecodeStandardBase64(ValueOf(requests[0], u"CERTTEXT"));
  ASSERT_TRUE(attributes.has_value());
  EXPECT_EQ(*attributes, ExpectedAttributes(digest));
  EXPECT_EQ(platform::text::Utf8ToUtf16(trace.attributesText), ValueOf(requests[0], u"CERTTEXT"));

  // The verification request reports what was merged.
  EXPECT_EQ(NamesOf(requests[1]), (std::vector<std::u16string>{u"TRAMEX", u"COMMAND", u"SIGNEDDATA", u"CERTCONTEXT",
                                                                u"CERTTEXT", u"KEYSN", u"SIGNSN"}));
  EXPECT_EQ(ValueOf(requests[1], u"COMMAND"), u"VERIFYSIGNATURE");
  EXPECT_EQ(ValueOf(requests[1], u"KEYSN"), u"ZQ001");
  EXPECT_EQ(ValueOf(requests[1], u"CERTTEXT"), ValueOf(requests[0], u"CERTTEXT"));
  const auto returned = protocol::DecodeStandardBase64(ValueOf(requests[1], u"SIGNEDDATA"));
  ASSERT_TRUE(returned.has_value());
  EXPECT_TRUE(crypto::VerifyPkcs1Sha1(server.Certificate(), *attributes, *returned));
  const auto certificate = protocol::DecodeStandardBase64(ValueOf(requests[1], u"CERTCONTEXT"));
  EXPECT_EQ(certificate, server.Certificate().Der());
  std::u16string serial = ValueOf(requests[1], u"SIGNSN");
  std::u16string symbols = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";
  std::sort(serial.begin(), serial.end());
  std::sort(symbols.begin(), symbols.end());
  EXPECT_EQ(serial, symbols) << "a permutation of the Base64 symbols and the pad";
}

TEST_F(SignOnlineTest, EarlierSignaturesStayValid) {
  const std::filesystem::path path = Copy("pyhanko-minimal-two-fields-signed-twice.pdf");
  ASSERT_FALSE(path.empty());
  ASSERT_EQ(CountOf(RunTool("pdfsig " + Quote(path)).output, "Signature is Valid"), 2);
  InProcessSigningServer server;
  ASSERT_EQ(Sign(path, server).Code(), 0);
  const ToolResult judged = RunTool("pdfsig " + Quote(path));
  EXPECT_EQ(CountOf(judged.output, "Signature is Valid"), 3) << judged.output;
  EXPECT_EQ(CountOf(judged.output, "Signature Field Name:"), 3) << judged.output;
}

TEST_F(SignOnlineTest, EveryRefusalLeavesTheFileAsItWas) {
  struct Case {
    Spoil spoil;
    int expected;
    StampFailure failure;
    bool verificationSent;
    const char* label;
  };
  const Case cases[] = {
      {Spoil::Refuse, kOnlineRefused, StampFailure::ServerRefused, true, "STATUS not OK"},
      {Spoil::NoCertificate, kOnlineRefused, StampFailure::UnusableServerAnswer, false, "OK without a certificate"},
      {Spoil::EmptySignature, kOnlineEmptySignature, StampFailure::NoServerSignature, true, "empty SIGNRESULT"},
      {Spoil::SignatureNotBase64, kOnlineRefused, StampFailure::UnusableServerAnswer, true, "SIGNRESULT not Base64"},
      {Spoil::WrongSignature, kOnlineRefused, StampFailure::UnusableServerAnswer, true,
       "signature that does not verify"},
      {Spoil::OtherCertificate, kOnlineRefused, StampFailure::UnusableServerAnswer, true, "certificate of another key"},
      {Spoil::CertificateGarbage, kOnlineRefused, StampFailure::UnusableServerAnswer, true,
       "CERTCONTEXT not a certificate"},
      {Spoil::NoAnswer, kOnlineRefused, StampFailure::NoServerAnswer, false, "no answer"},
      {Spoil::NotAPacket, kOnlineRefused, StampFailure::ServerRefused, true, "HTML instead of a packet"},
  };
  const std::filesystem::path original = Copy("pypdf-crazyones.pdf");
  ASSERT_FALSE(original.empty());
  const std::string before = ReadFileBytes(original);
  const int signaturesBefore = SignatureCount(original);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    InProcessSigningServer server(c.spoil);
    OnlineSigningTrace trace;
    const StampResult result = Sign(original, server, &trace);
    EXPECT_EQ(result.Code(), c.expected);
    ASSERT_FALSE(result.Ok());
    EXPECT_EQ(result.Failure(), c.failure) << result.Reason();
    EXPECT_TRUE(ReadFileBytes(original) == before) << "the placeholder signature was taken back out";
    EXPECT_EQ(SignatureCount(original), signaturesBefore);
    EXPECT_EQ(trace.verificationSent, c.verificationSent);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), c.verificationSent ? 2u : 1u);
    if (c.spoil == Spoil::Refuse) {
      EXPECT_EQ(ValueOf(requests[1], u"SIGNEDDATA"), u"");
      EXPECT_EQ(ValueOf(requests[1], u"CERTCONTEXT"), u"");
    }
  }
  // After all that, a good server still signs the same file.
  InProcessSigningServer good;
  EXPECT_EQ(Sign(original, good).Code(), 0);
  EXPECT_EQ(CountOf(RunTool("pdfsig " + Quote(original)).output, "Signature is Valid"), 1);
}

// A server that takes the request and never answers: the run is killed while it waits.
class SilentServer final : public protocol::PacketTransport {
 public:
  explicit SilentServer(std::filesystem::path marker) : marker_(std::move(marker)) {}
  std::string Exchange(std::string_view, std::string_view) override {
    WriteFileBytes(marker_, "asked");
    for (;;) ::pause();
  }

 private:
  std::filesystem::path marker_;
};

// The placeholder signature lives only in the staged copy: a run killed during the server exchange leaves the
// file byte-identical, and the next run removes the copy it left.
TEST_F(SignOnlineTest, ARunKilledWhileTheServerIsAskedLeavesTheFileAsItWas) {
  const auto path = Copy("pypdf-crazyones.pdf");
  const std::string before = ReadFileBytes(path);
  const std::filesystem::path marker = folder_ / "asked";
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const EngineHandle engine = StartEngine();
    SignableDocument prepared = OpenWithNewField(engine.get(), path);
    SilentServer silent(marker);
    (void)SignOnlineAndCommit([&](qp_signature signature) { return SignOnline(signature, request_, silent); },
                              prepared.document.get(), prepared.signature.get());
    ::_exit(3);
  }
  for (int i = 0; i < 3000 && !std::filesystem::exists(marker); ++i) ::usleep(10000);
  const bool asked = std::filesystem::exists(marker);
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ASSERT_TRUE(asked) << "the server was never asked";
  std::filesystem::remove(marker);
  EXPECT_EQ(ReadFileBytes(path), before);
  int copies = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder_.Path()))
    copies += entry.path().extension() == ".saving" ? 1 : 0;
  EXPECT_EQ(copies, 1) << "the killed run's copy holds the placeholder";

  InProcessSigningServer server;
  ASSERT_TRUE(Sign(path, server).Ok());
  EXPECT_EQ(CountOf(RunTool("pdfsig " + Quote(path)).output, "Signature is Valid"), 1);
  for (const auto& entry : std::filesystem::directory_iterator(folder_.Path()))
    EXPECT_NE(entry.path().extension(), ".saving") << "left behind: " << entry.path();
}

}  // namespace
}  // namespace sealrun::signing::testing
