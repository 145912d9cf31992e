// The document fingerprint over files made and edited by qpdf: what seals leave alone, what every other
// change reaches, page identifiers, and the canonical object text.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "support/Alphabets.h"
#include "support/Md5.h"
#include "support/Sha1.h"
#include "tests/testsupport/ToolRun.h"
#include "tests/verify/FingerprintFixture.h"
#include "verify/DocumentFingerprint.h"

namespace sealrun::verify::testing {
namespace {

bool IsFingerprintText(const std::u16string& text) {
  if (text.size() != 28 || text.back() != static_cast<char16_t>(support::FingerprintAlphabet.Pad())) return false;
  for (const char16_t unit : text) {
    if (unit > 0x7F || support::FingerprintAlphabet.Position(static_cast<char>(unit)) == support::Alphabet::kNotInAlphabet) {
      return false;
    }
  }
  return true;
}

TEST_F(FingerprintTest, SealAnnotationAndSignatureWidgetLeaveItUnchanged) {
  const auto base = Base("doc.pdf");
  const std::u16string original = FingerprintOf(base);
  EXPECT_TRUE(IsFingerprintText(original));
  EXPECT_EQ(FingerprintOf(Edit("add-seal", base)), original);
  EXPECT_EQ(FingerprintOf(Edit("add-sig-widget", base)), original);
}

TEST_F(FingerprintTest, EveryOtherChangeChangesIt) {
  const auto base = Base("doc.pdf");
  std::set<std::u16string> seen{FingerprintOf(base)};
  // The form XObject is a resource value at the top level: its dictionary and stored data count.
  for (const char* edit : {"add-annot", "content-byte", "resource", "reorder", "swap-annots", "form-content"}) {
    EXPECT_TRUE(seen.insert(FingerprintOf(Edit(edit, base))).second) << edit << " left the fingerprint as it was";
  }
}

// A reference below the top level writes nothing, so what lies behind it (the image a form draws, an
// annotation's appearance stream) is outside the fingerprint; the change analysis of verification sees it.
TEST_F(FingerprintTest, ChangesBehindReferencesBelowTheTopLevelLeaveItUnchanged) {
  const auto base = Base("doc.pdf");
  const std::u16string original = FingerprintOf(base);
  EXPECT_EQ(FingerprintOf(Edit("nested-image", base)), original);
  EXPECT_EQ(FingerprintOf(Edit("annot-appearance", base)), original);
}

// Only the page dictionary's own /Resources count: pages that inherit theirs contribute no resources.
TEST_F(FingerprintTest, InheritedResourcesAreNotConsulted) {
  EXPECT_EQ(FingerprintOf(Base("inherited.pdf", {"--inherited"})),
            FingerprintOf(Base("inherited-courier.pdf", {"--inherited", "--courier"})));
}

TEST_F(FingerprintTest, MissingIdentifiersAreAddedAndReadBackAfterSave) {
  const auto path = Base("noid.pdf", {"--no-ids"});
  std::u16string first;
  {
    const DocumentHandle document = Open(path);
    DocumentFingerprint fingerprint(document.get());
    std::set<std::u16string> identifiers;
    for (int page = 0; page < 3; ++page) {
      const auto identifier = fingerprint.GetPageIdentifier(page);
      ASSERT_TRUE(identifier.has_value());
      EXPECT_EQ(identifier->size(), 24u);
      EXPECT_EQ(identifier->substr(22), u"TT") << "16 bytes end in two pad symbols";
      identifiers.insert(*identifier);
    }
    EXPECT_EQ(identifiers.size(), 3u);
    first = fingerprint.ComputeDocumentFingerprint(document.get()).value_or(u"");
    EXPECT_EQ(DocumentFingerprint().ComputeDocumentFingerprint(document.get()), first);
    // The pages were marked modified, so the save writes the identifiers.
    ASSERT_EQ(qp_document_save(document.get()), QP_OK);
  }
  EXPECT_TRUE(IsFingerprintText(first));
  EXPECT_EQ(FingerprintOf(path), first);

  // The identifier qpdf reads is the one of the page's object number.
  const std::string shown =
      sealrun::testing::RunProgram("qpdf", {"--show-object=3", path.string()}, sealrun::testing::ErrorStream::Apart)
          .output;
  EXPECT_NE(shown.find("/ID (" + support::Md5Text("3") + ")"), std::string::npos) << shown;
}

TEST_F(FingerprintTest, DuplicateIdentifiersAreCountedApart) {
  // Three pages sharing one identifier read as X, X1, X2: the same lines as pages that carry those.
  EXPECT_EQ(FingerprintOf(Base("same.pdf", {"--same-ids"})), FingerprintOf(Base("counted.pdf", {"--counted-ids"})));
  EXPECT_NE(FingerprintOf(Base("same2.pdf", {"--same-ids"})), FingerprintOf(Base("distinct.pdf")));
}

// DigestCosValue over objects made in an open document, which have no source in the file (the engine gives
// them as it keeps them): the digest must be the SHA-1 of the exact text.
class CosTextTest : public FingerprintTest {
 protected:
  void SetUp() override {
    FingerprintTest::SetUp();
    document_ = Open(Base("cos.pdf"));
    fingerprint_.SetDocument(document_.get());
  }
  void TearDown() override {
    document_.reset();
    FingerprintTest::TearDown();
  }
  static std::string TextDigest(std::string_view text) {
    support::Sha1 sha1;
    sha1.Update(text);
    std::uint8_t out[29] = {};
    sha1.Final(out, support::Sha1Output::Text);
    return std::string(reinterpret_cast<const char*>(out), 28);
  }
  void ExpectText(qp_cos value, std::string_view expected, CosLevel level = CosLevel::Nested) {
    EXPECT_TRUE(fingerprint_.DigestCosValue(value, level));
    EXPECT_EQ(fingerprint_.TakeDigestText(), TextDigest(expected)) << expected;
  }
  qp_cos Real(double value) { return qp_cos_new_real(document_.get(), value); }
  qp_cos Int(int value) { return qp_cos_new_int(document_.get(), value); }
  qp_cos Name(const char* value) { return qp_cos_new_name(document_.get(), value); }
  qp_cos String(std::string_view bytes, int hex = 0) {
    return qp_cos_new_string(document_.get(), bytes.data(), static_cast<int>(bytes.size()), hex);
  }

  DocumentHandle document_;
  DocumentFingerprint fingerprint_;
};

TEST_F(CosTextTest, RealsDropTrailingZerosButKeepOneAfterThePoint) {
  ExpectText(Real(2.0), "2.0");
  ExpectText(Real(1.25), "1.25");
  ExpectText(Real(0.1), "0.1");
  ExpectText(Real(-0.5), "-0.5");
  ExpectText(Real(100.0), "100.0");
  ExpectText(Int(-7), "-7");
}

TEST_F(CosTextTest, NamesEscapeDelimitersAndWhiteSpaceOnly) {
  ExpectText(Name("A B"), "/A#20B");
  ExpectText(Name("a(b)/c<d>[e]{f}%g"), "/a#28b#29#2Fc#3Cd#3E#5Be#5D#7Bf#7D#25g");
  ExpectText(Name("x#y\xC3\xA9~"), "/x#y\xC3\xA9~");
}

TEST_F(CosTextTest, StringsEscapeOrGoHex) {
  ExpectText(String("a(b)\\\n\t\r\b\f"), "(a\\(b\\)\\\\\\n\\t\\r\\b\\f)");
  ExpectText(String(std::string_view("\x01\xAB\x7F", 3)), "<01AB7F>");
}

TEST_F(CosTextTest, ArraySpacingFollowsTheKindsOnBothSides) {
  qp_cos array = qp_cos_new_array(document_.get(), 8, 0);
  for (qp_cos element : {Int(1), Name("N"), Int(2), qp_cos_new_bool(document_.get(), 1), String("s"), Real(2.0),
                         Name("M"), Real(0.5)}) {
    ASSERT_EQ(qp_cos_array_push(array, element), QP_OK);
  }
  ExpectText(array, "[1/N 2 true(s)2.0/M 0.5]");
}

TEST_F(CosTextTest, ReferencesWriteNothingBelowTheTopLevelAndAreFollowedAtIt) {
  qp_cos target = qp_cos_new_dict(document_.get(), 1, 1);
  ASSERT_EQ(qp_cos_dict_puts(target, "K", Int(1)), QP_OK);
  qp_cos array = qp_cos_new_array(document_.get(), 3, 0);
  ASSERT_EQ(qp_cos_array_push(array, target), QP_OK);
  ASSERT_EQ(qp_cos_array_push(array, Int(5)), QP_OK);
  ASSERT_EQ(qp_cos_array_push(array, target), QP_OK);
  // An indirect element counts as ending with a regular character, so two spaces can meet.
  ExpectText(array, "[ 5 ]");

  qp_cos dict = qp_cos_new_dict(document_.get(), 6, 0);
  ASSERT_EQ(qp_cos_dict_puts(dict, "A", Int(1)), QP_OK);
  ASSERT_EQ(qp_cos_dict_puts(dict, "B", Name("N")), QP_OK);
  ASSERT_EQ(qp_cos_dict_puts(dict, "C", String("s")), QP_OK);
  ASSERT_EQ(qp_cos_dict_puts(dict, "D", target), QP_OK);
  ASSERT_EQ(qp_cos_dict_puts(dict, "E", qp_cos_new_bool(document_.get(), 0)), QP_OK);
  ASSERT_EQ(qp_cos_dict_puts(dict, "F", qp_cos_new_array(document_.get(), 0, 0)), QP_OK);
  ExpectText(dict, "<</A 1/B/N/C(s)/D /E false/F[]>>");
  // At the top level the reference is followed, below it the reference alone writes nothing.
  ExpectText(qp_cos_dict_gets(dict, "D"), "<</K 1>>", CosLevel::Top);
  ExpectText(qp_cos_dict_gets(dict, "D"), "", CosLevel::Nested);
}

TEST_F(CosTextTest, DeepNestingStopsInsteadOfExhaustingTheStack) {
  qp_cos inner = qp_cos_new_array(document_.get(), 1, 0);
  ASSERT_EQ(qp_cos_array_push(inner, Int(1)), QP_OK);
  for (int level = 1; level < 1000; ++level) {
    qp_cos outer = qp_cos_new_array(document_.get(), 1, 0);
    ASSERT_EQ(qp_cos_array_push(outer, inner), QP_OK);
    inner = outer;
  }
  // Deeper than any real document: the value cannot be taken in full, and a part must not pass for it.
  EXPECT_FALSE(fingerprint_.DigestCosValue(inner, CosLevel::Nested));
}

TEST_F(CosTextTest, StreamsWriteTheirDictionaryAndStoredBytes) {
  qp_cos stream = qp_cos_new_stream(document_.get(), "q 1 0 0 1 0 0 cm Q", 18, 0, nullptr, 0, 1);
  ASSERT_NE(stream, nullptr);
  ExpectText(stream, "<</Length 18>>stream\r\nq 1 0 0 1 0 0 cm Q\r\nendstream", CosLevel::Top);
}

}  // namespace
}  // namespace sealrun::verify::testing
