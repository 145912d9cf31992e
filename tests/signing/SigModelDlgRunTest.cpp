// Batch signing runs from the dialog over real files, against the demo key.
#if defined(SEALRUN_SEALKEY_MODULE) && defined(SEALRUN_CERTLIB_MODULE)
#include <regex>

#include "platform/imaging/ImageCodec.h"
#include "tests/signing/SigModelDlgFixture.h"
#include "tests/testsupport/ToolRun.h"

namespace sealrun::signing::testing {
namespace {

using sealrun::testing::ReadFileBytes;

// A file was sealed when it grew by an appended revision and kept its original bytes as its prefix.
bool SealedFrom(const fs::path& file, const std::string& original) {
  const std::string now = ReadFileBytes(file);
  return now.size() > original.size() && now.compare(0, original.size(), original) == 0;
}

std::vector<uint8_t> Picture(int width, int height) {
  auto image = platform::imaging::Image::Create(width, height, 24);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) image->SetPixel(x, y, platform::imaging::Rgba{20, 20, 200, 255});
  const auto png = platform::imaging::EncodePng(*image);
  return std::vector<uint8_t>(png->begin(), png->end());
}

TEST_F(SigModelDlgTest, TwelveFilesOfWhichTwoFail) {
  const std::string original = ReadFileBytes(sealrun::testing::CorpusFile("pypdf-crazyones.pdf"));
  std::vector<fs::path> files;
  std::vector<std::string> originals;
  for (int i = 0; i < 12; ++i) {
    fs::path file;
    if (i == 3) {  // not a PDF at all
      file = temp_ / "broken.pdf";
      sealrun::testing::WriteFileBytes(file, "%PDF-1.4 this is not a document");
    } else if (i == 8) {  // encrypted, form filling denied
      file = Copy("derived-aes128-r4-nomodify-noform-FormTestFromOo.pdf", "locked.pdf");
    } else {
      file = Copy("pypdf-crazyones.pdf", "file" + std::to_string(i) + ".pdf");
    }
    files.push_back(file);
    originals.push_back(ReadFileBytes(file));
  }
  std::vector<std::u16string> paths;
  for (const auto& file : files) paths.push_back(platform::fs::PathToUtf16(file));

  CSigModelDlg dialog(Inputs(paths));
  std::u16string status;
  const int ended = Open(dialog, [&status](CSigModelDlg& d) {
    Get<ui::ComboBox>(d, kTemplateList).Choose(1);
    Get<ui::Edit>(d, kPinEdit).Type(kDemoPin);
    EXPECT_EQ(d.RunSigning(), kRunDone);
    status = Get<ui::Static>(d, kStatusLine).Text();
    // The controls that could start another run stay disabled until the dialog is gone.
    EXPECT_FALSE(Get<ui::Button>(d, ui::kIdOk).IsEnabled());
    EXPECT_FALSE(Get<ui::Button>(d, ui::kIdCancel).IsEnabled());
    EXPECT_FALSE(Get<ui::ComboBox>(d, kSealList).IsEnabled());
    EXPECT_FALSE(d.IsCloseCommandEnabled());
    EXPECT_TRUE(Get<ui::ProgressBar>(d, kProgressBar).IsVisible());
  });
  EXPECT_EQ(ended, ui::kIdOk);
  ASSERT_TRUE(dialog.Outcome().tally.has_value());
  EXPECT_EQ(dialog.Outcome().tally->total, 12);
  EXPECT_EQ(dialog.Outcome().failed, (std::vector<int>{3, 8}));
  EXPECT_EQ(dialog.Outcome().tally->failed, (std::vector<int>{3, 8}));
  EXPECT_EQ(status, u"共12份，正在盖章份数为：12...");
  // The bar went through every file, in order.
  const auto& positions = user_->ProgressPositions();
  ASSERT_GE(positions.size(), 12u);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(positions[positions.size() - 12 + i], i + 1);
  EXPECT_TRUE(user_->MessageBoxes().empty());  // failures are counted, never shown one by one

  for (size_t i = 0; i < files.size(); ++i) {
    if (i == 3 || i == 8)
      EXPECT_EQ(ReadFileBytes(files[i]), originals[i]) << files[i];
    else
      EXPECT_TRUE(SealedFrom(files[i], originals[i])) << files[i];
  }
}

TEST_F(SigModelDlgTest, MissingCertificateRefusesASignatureFieldRun) {
  const fs::path file = Copy("pypdf-crazyones.pdf", "one.pdf");
  // A key without its signer: the PIN is still checked, but there is no certificate to sign with.
  const fs::path keyFile = temp_ / "key" / "key.xml";
  const std::string keyXml = ReadFileBytes(keyFile);
  sealrun::testing::WriteFileBytes(keyFile, std::regex_replace(keyXml, std::regex("<Signer[^>]*/>"), ""));
  ASSERT_NE(ReadFileBytes(keyFile), keyXml);
  const std::string original = ReadFileBytes(file);

  SignDialogInputs inputs = Inputs({platform::fs::PathToUtf16(file)});
  inputs.signatureMode = config::SignatureMode(u"1");
  CSigModelDlg dialog(inputs);
  Open(dialog, [this](CSigModelDlg& d) {
    Get<ui::Edit>(d, kPinEdit).Type(kDemoPin);
    EXPECT_EQ(d.RunSigning(), kRunRefused);
    EXPECT_TRUE(d.IsRunning());
    ASSERT_FALSE(user_->MessageBoxes().empty());
    EXPECT_EQ(user_->MessageBoxes().back().text, kNoCertificateMessage);
    EXPECT_EQ(user_->MessageBoxes().back().caption, kSigningNoticeCaption);
    // Back to idle: the user can change the seal, cancel or try again.
    EXPECT_TRUE(Get<ui::Button>(d, ui::kIdOk).IsEnabled());
    EXPECT_TRUE(Get<ui::Button>(d, ui::kIdCancel).IsEnabled());
    EXPECT_TRUE(Get<ui::ComboBox>(d, kSealList).IsEnabled());
    EXPECT_TRUE(Get<ui::ComboBox>(d, kTemplateList).IsEnabled());
    EXPECT_TRUE(d.IsCloseCommandEnabled());
    EXPECT_TRUE(d.Close());
  });
  EXPECT_FALSE(dialog.Outcome().tally.has_value());
  EXPECT_EQ(ReadFileBytes(file), original);
}

TEST_F(SigModelDlgTest, SignatureFieldRunSignsWithTheKeysCertificate) {
  const fs::path file = Copy("pypdf-crazyones.pdf", "one.pdf");
  const std::string original = ReadFileBytes(file);
  SignDialogInputs inputs = Inputs({platform::fs::PathToUtf16(file)});
  inputs.signatureMode = config::SignatureMode(u"1");
  CSigModelDlg dialog(inputs);
  Open(dialog, [](CSigModelDlg& d) {
    Get<ui::Edit>(d, kPinEdit).Type(kDemoPin);
    Get<ui::Button>(d, ui::kIdOk).Click();
  });
  ASSERT_EQ(dialog.Result(), ui::kIdOk);
  EXPECT_TRUE(dialog.Outcome().failed->empty());
  EXPECT_TRUE(SealedFrom(file, original));
  // The engine made a signature poppler accepts, in a field named after the document's signature count.
  const std::string report = sealrun::testing::RunProgram("pdfsig", {file.string()}).output;
  EXPECT_NE(report.find("Signature Field Name: Signature1"), std::string::npos) << report;
  EXPECT_NE(report.find("Signature is Valid"), std::string::npos) << report;
}

TEST_F(SigModelDlgTest, HandwritingReplacesTheSealAndIsStampedWithoutTheDate) {
  const fs::path file = Copy("pypdf-crazyones.pdf", "one.pdf");
  const std::vector<uint8_t> handwriting = Picture(40, 20);
  SignDialogInputs inputs = Inputs({platform::fs::PathToUtf16(file)});
  inputs.addDate = true;
  std::u16string serialSeen;
  inputs.captureHandwriting = [&](std::u16string_view keySerial, std::vector<uint8_t>& picture, bool& handwritten) {
    serialSeen = keySerial;
    picture = handwriting;
    handwritten = true;
    return std::u16string(kDemoPin);
  };
  CSigModelDlg dialog(inputs);
  Open(dialog, [&](CSigModelDlg& d) {
    EXPECT_TRUE(Get<ui::CheckBox>(d, kAddDateBox).IsChecked());
    const int sealHeight = d.Images().stampHeight;
    Get<ui::Button>(d, kHandwritingButton).Click();
    EXPECT_EQ(Get<ui::Edit>(d, kPinEdit).Text(), kDemoPin);
    EXPECT_FALSE(Get<ui::ComboBox>(d, kSealList).IsEnabled());
    EXPECT_TRUE(d.Images().handwritten);
    // With the date the canvas is the signature, widened to the date text, 12 pixels taller.
    EXPECT_EQ(d.Images().stampHeight, 20 + kDateCellHeight);
    EXPECT_GE(d.Images().stampWidth, 40);
    EXPECT_NE(d.Images().stampHeight, sealHeight);
    // Unticked, the signature is stamped as it was drawn.
    Get<ui::CheckBox>(d, kAddDateBox).Click();
    EXPECT_EQ(d.Images().stampWidth, 40);
    EXPECT_EQ(d.Images().stampHeight, 20);
    Get<ui::Button>(d, ui::kIdOk).Click();
  });
  ASSERT_EQ(dialog.Result(), ui::kIdOk);
  EXPECT_EQ(dialog.Images().stamping, handwriting);
  EXPECT_TRUE(dialog.Outcome().failed->empty());
  EXPECT_FALSE(serialSeen.empty());
}

TEST_F(SigModelDlgTest, HandwritingButtonWithoutCaptureDoesNothing) {
  CSigModelDlg dialog(Inputs());
  Open(dialog, [](CSigModelDlg& d) {
    const auto before = d.Images().stamping;
    EXPECT_TRUE(Get<ui::Button>(d, kHandwritingButton).Click());
    EXPECT_FALSE(d.Images().handwritten);
    EXPECT_EQ(d.Images().stamping, before);
    EXPECT_TRUE(Get<ui::ComboBox>(d, kSealList).IsEnabled());
  });
}

TEST_F(SigModelDlgTest, ChoosingATemplateSelectsItsAnnotationAndTheDateWidensTheStamp) {
  SignDialogInputs inputs = Inputs();
  std::vector<std::u16string> selected;
  inputs.selectTemplate = [&selected](std::u16string_view name) { selected.emplace_back(name); };
  CSigModelDlg dialog(inputs);
  Open(dialog, [](CSigModelDlg& d) {
    Get<ui::ComboBox>(d, kTemplateList).Choose(1);
    const int width = d.Images().stampWidth;
    const int height = d.Images().stampHeight;
    const auto sealBytes = d.Images().stamping;
    Get<ui::CheckBox>(d, kAddDateBox).Click();
    EXPECT_EQ(d.Images().stampHeight, height + kDateCellHeight);
    EXPECT_GE(d.Images().stampWidth, width);
    EXPECT_NE(d.Images().stamping, sealBytes);
    Get<ui::CheckBox>(d, kAddDateBox).Click();
    EXPECT_EQ(d.Images().stamping, sealBytes);
    // Another seal: its own picture.
    Get<ui::ComboBox>(d, kSealList).Choose(1);
    EXPECT_NE(d.Images().stamping, sealBytes);
  });
  EXPECT_EQ(selected, std::vector<std::u16string>{u"预盖位置2"});
}

}  // namespace
}  // namespace sealrun::signing::testing
#endif
