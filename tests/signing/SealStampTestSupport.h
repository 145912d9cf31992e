#pragma once
// Stamping fixtures: the engine, a seal picture whose colours a render can find, a template record that
// anchors the seal at a known distance from the bottom-right corner, the signer's key in the key store,
// and readers of what a stamping left in the file.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/crypto/KeyStore.h"
#include "platform/imaging/ImageCodec.h"
#include "signing/PlacementCorners.h"
#include "signing/SealStamp.h"
#include "tests/signing/PlacementTestSupport.h"
#include "tests/testsupport/TempDir.h"
#include "tests/testsupport/TestCertificates.h"
#include "tests/testsupport/ToolRun.h"
#include "verify/DocumentFingerprint.h"

namespace sealrun::signing::testing {

// The seal stands this far from the displayed page's right and bottom edges, in points.
inline constexpr double kRightGap = 30;
inline constexpr double kBottomGap = 40;
inline constexpr double kSealWidth = 60;  // kStampPixelWidth at 96 pixels per inch
inline constexpr double kSealHeight = 30;

using sealrun::testing::RunTool;
using sealrun::testing::ToolRun;

inline std::string Quote(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

// The picture the placement tests look for: red with a blue block in its top-left corner, as PNG bytes.
inline std::vector<uint8_t> SealPicturePng() {
  auto picture = platform::imaging::Image::Create(kStampPixelWidth, kStampPixelHeight, 24);
  for (int y = 0; y < kStampPixelHeight; ++y)
    for (int x = 0; x < kStampPixelWidth; ++x) {
      const bool marker = x < kStampPixelWidth / 4 && y < kStampPixelHeight / 3;
      picture->SetPixel(x, y, marker ? platform::imaging::Rgba{0, 0, 255, 255} : platform::imaging::Rgba{255, 0, 0, 255});
    }
  const auto png = platform::imaging::EncodePng(*picture);
  return png ? std::vector<uint8_t>(png->begin(), png->end()) : std::vector<uint8_t>{};
}

// A pre-stamp on an unrotated A4 template page, kRightGap and kBottomGap from its bottom-right corner.
inline SealTemplate BottomRightTemplate() {
  SealTemplate record;
  record.pageWidth = 595;
  record.pageHeight = 842;
  record.left = record.pageWidth - kRightGap - kSealWidth;
  record.top = record.pageHeight - kBottomGap - kSealHeight;
  record.right = record.left + kSealWidth;
  record.bottom = record.top + kSealHeight;
  record.name = u"bottom right";
  ComputeCornerOffsets(record);
  return record;
}

class StampFixture : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    engine_ = StartEngine().release();
    const auto& identity = sealrun::testing::SharedTestIdentity();
    ASSERT_TRUE(platform::crypto::KeyStore::Instance().ImportPkcs12(identity.pkcs12, identity.password).Ok());
  }
  static void TearDownTestSuite() { EngineHandle(std::exchange(engine_, nullptr)); }

  void SetUp() override {
    ASSERT_NE(engine_, nullptr);
    picture_ = SealPicturePng();
    ASSERT_FALSE(picture_.empty());
    record_ = BottomRightTemplate();
    inputs_.engine = engine_;
    inputs_.image = picture_;
    inputs_.placement.selectedTemplate = &record_;
    inputs_.placement.stampWidth = kStampPixelWidth;
    inputs_.placement.stampHeight = kStampPixelHeight;
    inputs_.seal = SealRecordFields{u"演示公章", u"Sealrun Demo", u"Tester", u"SEAL-0001"};
    inputs_.keySerial = u"ZQ-DEMO-0001";
    inputs_.ipAddress = u"192.0.2.7";
    inputs_.signatureMode = config::SignatureMode(u"0");
    inputs_.certificate = sealrun::testing::SharedTestIdentity().certificateDer;
    inputs_.signerName = u"Sealrun Test Signer";
  }

  // A copy of a corpus file in the temporary folder.
  std::optional<std::filesystem::path> CorpusCopy(const std::string& name) {
    const auto source = sealrun::testing::CorpusFile(name);
    const auto target = temp_ / name;
    std::filesystem::copy_file(source, target, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(target, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
    return target;
  }

  static std::u16string Wide(const std::filesystem::path& path) { return path.u16string(); }

  static inline qp_engine engine_ = nullptr;
  sealrun::testing::TempDir temp_;
  std::vector<uint8_t> picture_;
  SealTemplate record_;
  StampInputs inputs_;
};

// The seal annotations ("Brasmoor:AddSeal") of a page as object handles.
inline std::vector<external::CosHandle> SealAnnotations(qp_document document, int pageIndex) {
  std::vector<external::CosHandle> found;
  const PageHandle page = LoadPage(document, pageIndex);
  if (!page) return found;
  for (qp_annot annot = qp_page_load_annots(page.get()); annot != nullptr; annot = qp_annot_next(annot))
    if (std::string(qp_annot_get_subtype(annot)) == "Brasmoor:AddSeal")
      found.emplace_back(qp_annot_get_cosobject(annot));
  return found;
}

// A stream's bytes, decoded or as stored.
enum class StreamBytes { Decoded, Stored };
inline std::optional<std::string> ReadStream(qp_cos stream, StreamBytes which) {
  auto read = which == StreamBytes::Decoded ? qp_cos_stream_to_buffer : qp_cos_stream_raw_to_buffer;
  size_t length = 0;
  if (stream == nullptr || read(stream, nullptr, &length) != QP_OK) return std::nullopt;
  std::string bytes(length, '\0');
  if (read(stream, bytes.data(), &length) != QP_OK) return std::nullopt;
  bytes.resize(length);
  return bytes;
}

inline std::u16string FromUtf16Le(const std::string& bytes) {
  std::u16string text;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    text.push_back(static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8)));
  return text;
}

inline std::string Fingerprint(qp_document document) {
  verify::DocumentFingerprint fingerprint(document);
  const auto text = fingerprint.ComputeDocumentFingerprint();
  return text ? std::string(text->begin(), text->end()) : std::string();
}

}  // namespace sealrun::signing::testing
