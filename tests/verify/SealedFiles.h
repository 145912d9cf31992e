#pragma once
// Sealed PDF files for the verification and removal tests. Base files are written by pikepdf; seals are
// applied by the real stamping (seal annotations and engine-signed signature fields); tampering is done
// with pikepdf and incremental updates appended by hand (tamper.py), never with our own engine.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "external/QpHandles.h"
#include "signing/SealStamp.h"
#include "tests/testsupport/TempDir.h"
#include "tests/testsupport/TestCertificates.h"
#include "tests/testsupport/ToolRun.h"
#include "verify/RowOutcome.h"

namespace sealrun::verify::testing {

inline constexpr char16_t kOwnSerial[] = u"ZQ-DEMO-0001";
inline constexpr char16_t kOtherSerial[] = u"ZQ-OTHER-0042";

enum class Form { SealAnnotation, SignatureField };
// How a signed message's data holds the fingerprint.
enum class Encoding { Utf8, Utf16Le };

std::string Utf16LeBytes(std::u16string_view text);

using external::DocumentHandle;
using external::LoadPage;
using external::OpenDocument;
using external::PageHandle;
using sealrun::testing::RunTool;
using sealrun::testing::ToolRun;
std::string Quote(const std::filesystem::path& path);

class SealedFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;

  // A fresh base file of `pages` pages (page text, a shared font, an ordinary note on page 1).
  std::filesystem::path Base(const std::string& name, int pages = 1);
  // A copy of `source` changed by a tamper.py edit ("add-annot", "flip-content", ...; "set-record" takes the
  // encoded record as its argument).
  std::filesystem::path Tamper(const std::string& edit, const std::filesystem::path& source,
                               const std::string& argument = "");
  std::filesystem::path Copy(const std::filesystem::path& source, const std::string& name);
  // Stamps the file in place with a seal of the key `serial` on page `pageIndex`; the stamping's result.
  int Seal(const std::filesystem::path& path, Form form, std::u16string_view serial = kOwnSerial, int pageIndex = 0);
  // Signature fields are signed with this identity from now on (its key goes into the key store); the shared
  // test identity until then.
  void SignFieldsWith(const sealrun::testing::TestIdentity& identity);
  // Seal annotations get a signed message from now on: made by `signer` over the fingerprint (as UTF-8 or
  // UTF-16LE), with /certContext naming `named` (the signer when null); none until then.
  void SignMessagesWith(const sealrun::testing::TestIdentity& signer,
                        sealrun::testing::MessageData form = sealrun::testing::MessageData::Attached,
                        Encoding encoding = Encoding::Utf8, const sealrun::testing::TestIdentity* named = nullptr,
                        bool carriesCertificate = true);

  static std::u16string Wide(const std::filesystem::path& path) { return path.u16string(); }
  static std::string Bytes(const std::filesystem::path& path);

  static inline qp_engine engine_ = nullptr;
  sealrun::testing::TempDir temp_;
  std::vector<int> failed_;
  RowOutcome outcome_{failed_, nullptr};
  // The seal annotations' signed message; none unless a test sets one.
  signing::SealMessageSigner messageSigner_;

 private:
  std::vector<std::uint8_t> picture_;
  std::vector<std::uint8_t> fieldCertificate_;
  signing::SealTemplate record_;
};

}  // namespace sealrun::verify::testing
