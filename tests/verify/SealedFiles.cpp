#include "tests/verify/SealedFiles.h"

#include <utility>

#include "platform/crypto/KeyStore.h"
#include "platform/fs/Files.h"
#include "platform/imaging/ImageCodec.h"
#include "platform/text/Utf.h"
#include "signing/PlacementCorners.h"
#include "support/Base64.h"

namespace sealrun::verify::testing {

namespace {

constexpr int kPictureWidth = 80;  // 60 x 30 points on the page
constexpr int kPictureHeight = 40;

std::filesystem::path ScriptPath() { return sealrun::testing::SourceFile("tests/verify/tamper.py"); }

}  // namespace

std::string Quote(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

std::string Utf16LeBytes(std::u16string_view text) {
  std::string bytes;
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

void SealedFiles::SetUpTestSuite() {
  if (engine_ == nullptr) engine_ = external::StartEngine().release();
  const auto& identity = sealrun::testing::SharedTestIdentity();
  ASSERT_TRUE(platform::crypto::KeyStore::Instance().ImportPkcs12(identity.pkcs12, identity.password).Ok());
}

void SealedFiles::TearDownTestSuite() { external::EngineHandle(std::exchange(engine_, nullptr)); }

void SealedFiles::SetUp() {
  ASSERT_NE(engine_, nullptr);
  fieldCertificate_ = sealrun::testing::SharedTestIdentity().certificateDer;
  auto picture = platform::imaging::Image::Create(kPictureWidth, kPictureHeight, 24);
  ASSERT_TRUE(picture.has_value());
  for (int y = 0; y < kPictureHeight; ++y)
    for (int x = 0; x < kPictureWidth; ++x) picture->SetPixel(x, y, platform::imaging::Rgba{220, 0, 0, 255});
  const auto png = platform::imaging::EncodePng(*picture);
  ASSERT_TRUE(png.has_value());
  picture_.assign(png->begin(), png->end());
  // Bottom right of an A4 page, 30 points from the right edge and 40 from the bottom.
  record_.pageWidth = 595;
  record_.pageHeight = 842;
  record_.left = 595 - 30 - 60;
  record_.top = 842 - 40 - 30;
  record_.right = record_.left + 60;
  record_.bottom = record_.top + 30;
  record_.name = u"bottom right";
  signing::ComputeCornerOffsets(record_);
}

std::filesystem::path SealedFiles::Base(const std::string& name, int pages) {
  const auto out = temp_ / name;
  const ToolRun run = RunTool("/usr/bin/python3 " + Quote(ScriptPath()) + " base " + Quote(out) + " " + std::to_string(pages));
  EXPECT_EQ(run.exitCode, 0) << run.output;
  return out;
}

std::filesystem::path SealedFiles::Tamper(const std::string& edit, const std::filesystem::path& source,
                                          const std::string& argument) {
  const auto out = temp_ / (source.stem().string() + "-" + edit + ".pdf");
  const ToolRun run = RunTool("/usr/bin/python3 " + Quote(ScriptPath()) + " " + edit + " " + Quote(source) + " " +
                              Quote(out) + (argument.empty() ? "" : " " + sealrun::testing::ShellQuote(argument)));
  EXPECT_EQ(run.exitCode, 0) << edit << ": " << run.output;
  return out;
}

std::filesystem::path SealedFiles::Copy(const std::filesystem::path& source, const std::string& name) {
  const auto target = temp_ / name;
  std::filesystem::copy_file(source, target, std::filesystem::copy_options::overwrite_existing);
  return target;
}

int SealedFiles::Seal(const std::filesystem::path& path, Form form, std::u16string_view serial, int pageIndex) {
  signing::SealTemplate record = record_;
  record.pageIndex = pageIndex;
  signing::StampInputs inputs;
  inputs.engine = engine_;
  inputs.image = picture_;
  inputs.placement.selectedTemplate = &record;
  inputs.placement.stampWidth = kPictureWidth;
  inputs.placement.stampHeight = kPictureHeight;
  inputs.seal = signing::SealRecordFields{u"演示公章", u"Sealrun Demo", u"Tester", u"SEAL-0001"};
  inputs.keySerial = std::u16string(serial);
  inputs.ipAddress = u"192.0.2.7";
  inputs.signatureMode = config::SignatureMode(u"0");  // the records carry the fingerprint
  inputs.certificate = fieldCertificate_;
  inputs.signSealMessage = messageSigner_;
  inputs.signerName = u"Sealrun Test Signer";
  const signing::StampResult result = form == Form::SealAnnotation
                                          ? signing::StampSealAnnotation(inputs, Wide(path), u"123456")
                                          : signing::StampSignatureField(inputs, Wide(path), u"123456");
  return result.Code();
}

void SealedFiles::SignFieldsWith(const sealrun::testing::TestIdentity& identity) {
  ASSERT_TRUE(platform::crypto::KeyStore::Instance().ImportPkcs12(identity.pkcs12, identity.password).Ok());
  fieldCertificate_ = identity.certificateDer;
}

void SealedFiles::SignMessagesWith(const sealrun::testing::TestIdentity& signer, sealrun::testing::MessageData form,
                                   Encoding encoding, const sealrun::testing::TestIdentity* named,
                                   bool carriesCertificate) {
  const sealrun::testing::TestIdentity* certificate = named != nullptr ? named : &signer;
  messageSigner_ = [&signer, certificate, form, encoding, carriesCertificate](
                       std::u16string_view fingerprint, std::u16string_view, std::u16string& certificateText) {
    certificateText = platform::text::Utf8ToUtf16(certificate->certificatePem);
    const std::string data =
        encoding == Encoding::Utf8 ? platform::text::Utf16ToUtf8(fingerprint) : Utf16LeBytes(fingerprint);
    const auto der = sealrun::testing::SignMessageForTesting(signer, data, form, carriesCertificate);
    return platform::text::Widen(support::Base64Encode(der));
  };
}

std::string SealedFiles::Bytes(const std::filesystem::path& path) {
  return platform::fs::ReadFile(path).value_or(std::string());
}

}  // namespace sealrun::verify::testing
