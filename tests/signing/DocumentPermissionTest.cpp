// Permissions as the stamping asks for them: the eight kinds of encrypted corpus files and of a revision 2
// file, whose handler knows only the first four and answers the later ones through their older kin.
#include <gtest/gtest.h>

#include <map>

#include "signing/DocumentPermission.h"
#include "tests/signing/SealStampTestSupport.h"

namespace sealrun::signing::testing {
namespace {

using Grants = std::map<Permission, bool>;

constexpr Permission kAll[] = {Permission::Print,     Permission::Modify,        Permission::Copy,
                               Permission::Annotate,  Permission::FillForms,     Permission::Accessibility,
                               Permission::Assemble,  Permission::HighQualityPrint};

class DocumentPermissionTest : public StampFixture {
 protected:
  Grants GrantsOf(const std::filesystem::path& path) {
    Grants grants;
    const DocumentHandle document = OpenDocument(engine_, path);
    EXPECT_TRUE(document) << path;
    if (!document) return grants;
    for (const Permission permission : kAll) grants[permission] = CheckPermission(document.get(), permission);
    return grants;
  }
};

TEST_F(DocumentPermissionTest, EachKindAsksItsOwnBitFromRevisionThreeOn) {
  // /P -3104: annotate, fill forms and accessibility only.
  const auto r3 = CorpusCopy("qpdf-enc-R3-V2.pdf");
  EXPECT_EQ(GrantsOf(*r3), (Grants{{Permission::Print, false},
                                   {Permission::Modify, false},
                                   {Permission::Copy, false},
                                   {Permission::Annotate, true},
                                   {Permission::FillForms, true},
                                   {Permission::Accessibility, true},
                                   {Permission::Assemble, false},
                                   {Permission::HighQualityPrint, false}}));
  // Revision 6, /P -3136: fill forms and accessibility, no annotations.
  const auto r6 = CorpusCopy("pdfjs-secHandler.pdf");
  const Grants r6Grants = GrantsOf(*r6);
  EXPECT_FALSE(r6Grants.at(Permission::Annotate));
  EXPECT_TRUE(r6Grants.at(Permission::FillForms));
  EXPECT_FALSE(r6Grants.at(Permission::Modify));
  // Without encryption everything is granted.
  for (const auto& [permission, granted] : GrantsOf(*CorpusCopy("qpdf-minimal.pdf")))
    EXPECT_TRUE(granted) << PermissionName(permission);
}

TEST_F(DocumentPermissionTest, RevisionTwoAnswersTheLaterKindsThroughTheirOlderKin) {
  const auto source = CorpusCopy("pypdf-crazyones.pdf");
  const auto path = temp_ / "r2.pdf";
  const ToolRun made = RunTool("qpdf --allow-weak-crypto --encrypt '' owner 40 --print=n --modify=y --extract=n "
                               "--annotate=n -- " + Quote(*source) + " " + Quote(path));
  ASSERT_EQ(made.exitCode, 0) << made.output;
  const DocumentHandle document = OpenDocument(engine_, path);
  ASSERT_TRUE(document);
  ASSERT_EQ(qp_document_crypt_revision(document.get()), 2);
  // The handler leaves the later bits set; asked directly, forms would look fillable.
  ASSERT_EQ(qp_document_has_permissions(document.get(), 256), 1);
  EXPECT_EQ(GrantsOf(path), (Grants{{Permission::Print, false},
                                    {Permission::Modify, true},
                                    {Permission::Copy, false},
                                    {Permission::Annotate, false},
                                    {Permission::FillForms, false},         // as annotate
                                    {Permission::Accessibility, false},     // as copy
                                    {Permission::Assemble, true},           // as modify
                                    {Permission::HighQualityPrint, false}}));  // as print
}

TEST(PermissionKinds, AValueOutsideTheEightIsNeverGranted) {
  EXPECT_FALSE(CheckPermission(nullptr, static_cast<Permission>(8)));
  EXPECT_EQ(PermissionName(Permission::FillForms), "fill forms");
}

}  // namespace
}  // namespace sealrun::signing::testing
