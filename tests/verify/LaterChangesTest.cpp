// A seal speaks for the document as it stood when it was applied. Sealed files are changed afterwards by an
// outside tool (updates appended by tamper.py, classic or as cross-reference streams, the file rewritten by
// pikepdf), and each seal's verdict, revision and later changes are checked: every change to what a page
// shows or does invalidates both seal forms and is named; every allowed addition keeps every earlier seal
// valid; a change undone again is none.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "tests/verify/SealedFiles.h"
#include "verify/DocumentVerification.h"
#include "verify/SealRemoval.h"

namespace sealrun::verify::testing {
namespace {

constexpr int kAnyPage = -2;

std::string Describe(const std::vector<SealVerdict>& seals) {
  std::ostringstream out;
  for (const auto& seal : seals) {
    out << "seal object " << seal.objectNumber << " revision " << seal.revision << (seal.valid ? " valid" : " invalid");
    for (const Finding finding : seal.findings) out << " [" << FindingText(finding) << "]";
    out << "\n";
    for (const auto& change : seal.changes)
      out << "  revision " << change.revision << " page " << change.pageIndex << " object " << change.objectNumber
          << ": " << ChangeKindText(change.kind) << (change.allowed ? " (allowed)" : " (not allowed)") << "\n";
  }
  return out.str();
}

bool HasChange(const SealVerdict& seal, ChangeKind kind, int page) {
  return std::any_of(seal.changes.begin(), seal.changes.end(), [&](const LaterChange& change) {
    return change.kind == kind && (page == kAnyPage || change.pageIndex == page);
  });
}

class LaterChanges : public SealedFiles {
 protected:
  std::vector<SealVerdict> Seals(const std::filesystem::path& path, Form form) {
    const DocumentHandle document = OpenDocument(engine_, Wide(path));
    EXPECT_TRUE(document) << path;
    if (!document) return {};
    return form == Form::SealAnnotation ? ExamineSealAnnotations(document.get()).seals
                                        : ExamineSignatureFields(document.get()).seals;
  }

  // A two-page file sealed once in the form, on page 1.
  std::filesystem::path SealedOnce(Form form) {
    const auto path = Base(form == Form::SealAnnotation ? "annotated.pdf" : "signed.pdf", 2);
    EXPECT_EQ(Seal(path, form), 0);
    return path;
  }

  std::filesystem::path TamperWith(const std::string& edit, const std::filesystem::path& source,
                                   bool xrefStream = false) {
    if (!xrefStream) return Tamper(edit, source);
    const auto out = temp_ / (source.stem().string() + "-" + edit + "-stream.pdf");
    const ToolRun run = RunTool("/usr/bin/python3 " + Quote(sealrun::testing::SourceFile("tests/verify/tamper.py")) +
                                " " + edit + " " + Quote(source) + " " + Quote(out) + " --xref-stream");
    EXPECT_EQ(run.exitCode, 0) << edit << ": " << run.output;
    return out;
  }

  // Every seal of the file is invalid and names the change.
  void ExpectDisallowed(const std::filesystem::path& path, Form form, ChangeKind kind, int page,
                        const std::string& what) {
    const auto seals = Seals(path, form);
    ASSERT_FALSE(seals.empty()) << what;
    for (const auto& seal : seals) {
      EXPECT_FALSE(seal.valid) << what << "\n" << Describe(seals);
      EXPECT_TRUE(HasChange(seal, kind, page)) << what << ": no " << ChangeKindText(kind) << "\n" << Describe(seals);
      EXPECT_NE(std::find(seal.findings.begin(), seal.findings.end(), Finding::DisallowedChange), seal.findings.end())
          << what << "\n"
          << Describe(seals);
    }
  }

  // Every seal of the file that is not `except` is valid and names the change as allowed.
  void ExpectAllowed(const std::vector<SealVerdict>& seals, ChangeKind kind, const std::string& what, int except = 0) {
    ASSERT_FALSE(seals.empty()) << what;
    for (const auto& seal : seals) {
      if (seal.objectNumber == except) continue;
      EXPECT_TRUE(seal.valid) << what << "\n" << Describe(seals);
      EXPECT_TRUE(HasChange(seal, kind, kAnyPage)) << what << ": no " << ChangeKindText(kind) << "\n"
                                                   << Describe(seals);
      for (const auto& change : seal.changes) EXPECT_TRUE(change.allowed) << what << "\n" << Describe(seals);
    }
  }
};

struct Edit {
  const char* name;
  ChangeKind kind;
  int page;  // the page the change is on (zero-based), -1 for the document, kAnyPage when either will do
};

// Changes to what a page shows or does, for both seal forms.
const std::vector<Edit> kDisallowed = {
    {"content-update", ChangeKind::ContentChanged, 0},
    {"content-append", ChangeKind::ContentChanged, 0},
    {"resources", ChangeKind::ResourcesChanged, 0},
    {"font", ChangeKind::ResourcesChanged, 0},
    {"inherited-resources", ChangeKind::ResourcesChanged, -1},
    {"mediabox", ChangeKind::PageGeometryChanged, 0},
    {"rotate", ChangeKind::PageGeometryChanged, 0},
    {"add-page", ChangeKind::PagesAddedRemovedOrMoved, -1},
    {"remove-page", ChangeKind::PagesAddedRemovedOrMoved, -1},
    {"reorder", ChangeKind::PagesAddedRemovedOrMoved, -1},
    {"add-annot", ChangeKind::AnnotationAdded, 0},
    {"remove-annot", ChangeKind::AnnotationRemoved, 0},
    {"edit-annot", ChangeKind::AnnotationChanged, 0},
    {"annot-appearance", ChangeKind::AnnotationChanged, 0},
    {"annot-flags", ChangeKind::AnnotationChanged, 0},
    {"annot-rect", ChangeKind::AnnotationChanged, 0},
    {"annot-layer", ChangeKind::OptionalContentChanged, 0},
    {"layers", ChangeKind::OptionalContentChanged, -1},
    {"seal-marker", ChangeKind::RecordlessSealAdded, 0},
    {"field-value", ChangeKind::FormFieldChanged, kAnyPage},
    {"need-appearances", ChangeKind::FormChanged, -1},
    {"add-text-field", ChangeKind::FormChanged, -1},
    {"open-action", ChangeKind::DocumentActionChanged, -1},
    {"document-actions", ChangeKind::DocumentActionChanged, -1},
    {"document-javascript", ChangeKind::DocumentActionChanged, -1},
    {"page-actions", ChangeKind::DocumentActionChanged, 0},
};

}  // namespace

TEST_F(LaterChanges, EveryChangeToWhatAPageShowsOrDoesInvalidatesBothFormsAndIsNamed) {
  for (const Form form : {Form::SealAnnotation, Form::SignatureField}) {
    const auto sealed = SealedOnce(form);
    const auto seals = Seals(sealed, form);
    ASSERT_EQ(seals.size(), 1u);
    EXPECT_TRUE(seals[0].valid) << Describe(seals);
    EXPECT_EQ(seals[0].revision, 1) << "sealed by the first update";
    EXPECT_TRUE(seals[0].changes.empty()) << Describe(seals);
    for (const Edit& edit : kDisallowed) {
      const std::string what = std::string(edit.name) +
                               (form == Form::SealAnnotation ? " after a seal annotation" : " after a signature field");
      ExpectDisallowed(Tamper(edit.name, sealed), form, edit.kind, edit.page, what);
    }
  }
}

TEST_F(LaterChanges, ChangesToTheSealItselfAreNamedAsSuch) {
  const auto annotated = SealedOnce(Form::SealAnnotation);
  for (const char* edit : {"seal-rect", "seal-flags", "seal-record", "seal-picture"})
    ExpectDisallowed(Tamper(edit, annotated), Form::SealAnnotation, ChangeKind::SealChanged, kAnyPage, edit);
  const auto signedFile = SealedOnce(Form::SignatureField);
  for (const char* edit : {"signature-rect", "signature-appearance"})
    ExpectDisallowed(Tamper(edit, signedFile), Form::SignatureField, ChangeKind::SealChanged, kAnyPage, edit);
}

TEST_F(LaterChanges, PageIdentifiersMayBeAddedButNeverChangedOrRemoved) {
  // Sealing with an annotation stores an identifier on every page.
  const auto annotated = SealedOnce(Form::SealAnnotation);
  for (const char* edit : {"page-id-change", "page-id-remove"})
    ExpectDisallowed(Tamper(edit, annotated), Form::SealAnnotation, ChangeKind::PageIdentifierChanged, 0, edit);
  // A signed file whose pages have none yet takes them. Changed afterwards, an identifier is still one
  // added for the first signature (its page had none), and one changed for a signature made in between.
  const auto signedFile = SealedOnce(Form::SignatureField);
  const auto identified = Tamper("page-id-add", signedFile);
  ExpectAllowed(Seals(identified, Form::SignatureField), ChangeKind::PageIdentifierAdded, "page-id-add");
  ASSERT_EQ(Seal(identified, Form::SignatureField, kOtherSerial, 1), 0);
  const auto seals = Seals(Tamper("page-id-change", identified), Form::SignatureField);
  ASSERT_EQ(seals.size(), 2u);
  for (const auto& seal : seals) {
    const bool first = seal.revision == 1;
    EXPECT_EQ(seal.valid, first) << Describe(seals);
    EXPECT_TRUE(HasChange(seal, first ? ChangeKind::PageIdentifierAdded : ChangeKind::PageIdentifierChanged, 0))
        << Describe(seals);
  }
}

TEST_F(LaterChanges, DocumentInformationMetadataValidationDataAndTimestampsKeepEarlierSealsValid) {
  const std::vector<std::pair<const char*, ChangeKind>> allowed = {
      {"info", ChangeKind::DocumentInformationChanged},
      {"metadata", ChangeKind::MetadataChanged},
      {"validation-data", ChangeKind::ValidationDataAdded},
      {"timestamp", ChangeKind::DocumentTimestampAdded},
  };
  for (const Form form : {Form::SealAnnotation, Form::SignatureField}) {
    const auto sealed = SealedOnce(form);
    const int sealObject = Seals(sealed, form).at(0).objectNumber;
    for (const auto& [edit, kind] : allowed) {
      const auto changed = Tamper(edit, sealed);
      auto seals = Seals(changed, form);
      // The timestamp's token is made up: as a signed field it is itself invalid, the earlier seal is not.
      seals.erase(std::remove_if(seals.begin(), seals.end(),
                                 [&](const SealVerdict& seal) { return seal.objectNumber != sealObject; }),
                  seals.end());
      ExpectAllowed(seals, kind, edit);
    }
  }
}

TEST_F(LaterChanges, LaterSealsOfBothFormsAndTheirRemovalKeepEarlierSealsValid) {
  for (const Form first : {Form::SealAnnotation, Form::SignatureField}) {
    for (const Form later : {Form::SealAnnotation, Form::SignatureField}) {
      const std::string what = std::string(first == Form::SealAnnotation ? "annotation" : "field") + " then " +
                               (later == Form::SealAnnotation ? "annotation" : "field");
      const auto path = SealedOnce(first);
      ASSERT_EQ(Seal(path, later, kOtherSerial, 1), 0) << what;
      const ChangeKind added =
          later == Form::SealAnnotation ? ChangeKind::SealAnnotationAdded : ChangeKind::SignatureFieldAdded;
      const auto seals = Seals(path, first);
      ASSERT_EQ(seals.size(), later == first ? 2u : 1u) << what;
      for (const auto& seal : seals) {
        // The later seal itself was added in the newest revision, and nothing came after it.
        if (seal.revision == 2) {
          EXPECT_TRUE(seal.valid) << what << "\n" << Describe(seals);
          EXPECT_TRUE(seal.changes.empty()) << what << "\n" << Describe(seals);
        } else {
          ExpectAllowed({seal}, added, what);
        }
      }
      // The later seal's owner: its key serial, with the certificate the tests' seals are signed with.
      const SealOwner owner{kOtherSerial,
                            *platform::crypto::Certificate::FromDer(sealrun::testing::SharedTestIdentity().certificateDer)};
      const RemovalResult removed = later == Form::SealAnnotation
                                        ? RemoveLatestSealAnnotation(engine_, Wide(path), 0, owner, outcome_)
                                        : RemoveLatestSignatureField(engine_, Wide(path), 0, owner, outcome_);
      ASSERT_EQ(removed.Code(), 0) << what;
      ExpectAllowed(Seals(path, first), ChangeKind::LaterSealRemoved, what + ", removed again");
    }
  }
}

TEST_F(LaterChanges, AChangeUndoneByALaterUpdateIsNone) {
  for (const Form form : {Form::SealAnnotation, Form::SignatureField}) {
    const auto sealed = SealedOnce(form);
    for (const auto& [edit, undo] :
         {std::pair{"content-update", "content-restore"}, std::pair{"add-annot", "remove-added-annot"}}) {
      const auto changed = Tamper(edit, sealed);
      ASSERT_FALSE(Seals(changed, form).at(0).valid) << edit;
      const auto undone = Tamper(undo, changed);
      const auto seals = Seals(undone, form);
      ASSERT_EQ(seals.size(), 1u);
      EXPECT_TRUE(seals[0].valid) << edit << " then " << undo << "\n" << Describe(seals);
      EXPECT_TRUE(seals[0].changes.empty()) << edit << " then " << undo << "\n" << Describe(seals);
    }
  }
}

TEST_F(LaterChanges, UpdatesWrittenAsCrossReferenceStreamsWithObjectStreamsAreReadAlike) {
  for (const Form form : {Form::SealAnnotation, Form::SignatureField}) {
    const auto sealed = SealedOnce(form);
    for (const Edit& edit :
         {Edit{"content-update", ChangeKind::ContentChanged, 0}, Edit{"edit-annot", ChangeKind::AnnotationChanged, 0},
          Edit{"add-annot", ChangeKind::AnnotationAdded, 0},
          Edit{"field-value", ChangeKind::FormFieldChanged, kAnyPage}})
      ExpectDisallowed(TamperWith(edit.name, sealed, true), form, edit.kind, edit.page,
                       std::string(edit.name) + " as a cross-reference stream");
    ExpectAllowed(Seals(TamperWith("info", sealed, true), form), ChangeKind::DocumentInformationChanged,
                  "info as a cross-reference stream");
    // An annotation added from an object stream and removed again.
    const auto undone = TamperWith("remove-added-annot", TamperWith("add-annot", sealed, true), true);
    const auto seals = Seals(undone, form);
    EXPECT_TRUE(seals.at(0).valid) << Describe(seals);
    EXPECT_TRUE(seals.at(0).changes.empty()) << Describe(seals);
  }
}

TEST_F(LaterChanges, ASealInTheOriginalFileIsJudgedFromThereOn) {
  for (const Form form : {Form::SealAnnotation, Form::SignatureField}) {
    const auto sealed = SealedOnce(form);
    const auto original = Tamper("rewrite", sealed);
    auto seals = Seals(original, form);
    ASSERT_EQ(seals.size(), 1u);
    if (form == Form::SignatureField) {
      // Writing the file anew breaks the signed bytes; only the seal annotation survives a rewrite.
      EXPECT_FALSE(seals[0].valid) << Describe(seals);
      continue;
    }
    EXPECT_TRUE(seals[0].valid) << Describe(seals);
    EXPECT_EQ(seals[0].revision, 0) << Describe(seals);
    ExpectDisallowed(Tamper("content-append", original), form, ChangeKind::ContentChanged, 0,
                     "content after a rewrite");
    ExpectAllowed(Seals(Tamper("info", original), form), ChangeKind::DocumentInformationChanged,
                  "info after a rewrite");
  }
}

TEST_F(LaterChanges, CorpusFilesWithSeveralUpdatesAreJudgedFromTheSealsOwnRevision) {
  // Updates as cross-reference streams with object streams, hybrid references, a linearized original with
  // five updates and a form.
  for (const char* name :
       {"pypdf-commented.pdf", "pdfjs-bug1708041.pdf", "qpdf-hybrid-xref.pdf", "pdfjs-prefilled_f1040.pdf"}) {
    for (const Form form : {Form::SealAnnotation, Form::SignatureField}) {
      const std::string what =
          std::string(name) + (form == Form::SealAnnotation ? " with annotations" : " with fields");
      const auto path =
          Copy(sealrun::testing::CorpusFile(name), std::string(form == Form::SealAnnotation ? "a-" : "f-") + name);
      const DocumentHandle original = OpenDocument(engine_, Wide(path));
      ASSERT_TRUE(original) << what;
      const int revisions = qp_document_revision_count(original.get());
      ASSERT_GT(revisions, 1) << what;
      ASSERT_EQ(Seal(path, form), 0) << what;
      ASSERT_EQ(Seal(path, form, kOtherSerial), 0) << what;
      const auto seals = Seals(path, form);
      ASSERT_EQ(seals.size(), 2u) << what;
      for (const auto& seal : seals) {
        EXPECT_TRUE(seal.valid) << what << "\n" << Describe(seals);
        EXPECT_TRUE(seal.revision == revisions || seal.revision == revisions + 1) << what << "\n" << Describe(seals);
        const ChangeKind added =
            form == Form::SealAnnotation ? ChangeKind::SealAnnotationAdded : ChangeKind::SignatureFieldAdded;
        if (seal.revision == revisions) {
          EXPECT_TRUE(HasChange(seal, added, 0)) << what << "\n" << Describe(seals);
        }
      }
      ExpectDisallowed(Tamper("content-append", path), form, ChangeKind::ContentChanged, 0,
                       what + ", content appended");
    }
  }
}

TEST_F(LaterChanges, OtherSignersSignaturesStayValidThroughTheUpdatesTheirToolsMake) {
  // A second signature into a field prepared before the first: the field is signed, the metadata and the
  // document information are written again.
  auto seals = Seals(sealrun::testing::CorpusFile("pyhanko-minimal-two-fields-signed-twice.pdf"), Form::SignatureField);
  ASSERT_EQ(seals.size(), 2u);
  for (const auto& seal : seals) EXPECT_TRUE(seal.valid) << Describe(seals);
  const auto first = std::min_element(seals.begin(), seals.end(),
                                      [](const auto& a, const auto& b) { return a.revision < b.revision; });
  EXPECT_EQ(first->revision, 0);
  for (const ChangeKind kind :
       {ChangeKind::SignatureFieldAdded, ChangeKind::MetadataChanged, ChangeKind::DocumentInformationChanged})
    EXPECT_TRUE(HasChange(*first, kind, kAnyPage)) << ChangeKindText(kind) << "\n" << Describe(seals);

  // A signature followed by validation data and a document timestamp.
  seals = Seals(sealrun::testing::CorpusFile("pyhanko-pades-lta-dss-indirect-arrs-test.pdf"), Form::SignatureField);
  const auto signature = std::find_if(seals.begin(), seals.end(), [](const auto& seal) { return seal.revision == 2; });
  ASSERT_NE(signature, seals.end()) << Describe(seals);
  EXPECT_TRUE(signature->valid) << Describe(seals);
  EXPECT_TRUE(HasChange(*signature, ChangeKind::DocumentTimestampAdded, 0)) << Describe(seals);
  EXPECT_TRUE(HasChange(*signature, ChangeKind::ValidationDataAdded, -1)) << Describe(seals);
}

}  // namespace sealrun::verify::testing
