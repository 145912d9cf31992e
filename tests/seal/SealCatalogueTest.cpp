// The seal catalogue read from the stand-in key object into the signing dialog's seal list.
#include <span>
#include <string>
#include <vector>

#include "platform/ui/Controls.h"
#include "seal/SealCatalogue.h"
#include "tests/seal/FakeComponentFixture.h"

namespace sealrun::seal::testing {
namespace {

using ::testing::ElementsAre;

std::vector<std::u16string> Items(const platform::ui::ComboBox& box) {
  std::vector<std::u16string> items;
  for (int i = 0; i < box.Count(); ++i) items.push_back(box.ItemText(i));
  return items;
}

std::vector<uint8_t> Bytes(std::span<const uint8_t> bytes) { return {bytes.begin(), bytes.end()}; }

class SealCatalogueTest : public FakeComponentTest {
 protected:
  platform::ui::ComboBox sealList_{1001, platform::ui::ComboBox::Kind::DropDown};
  SealCatalogue catalogue_;
};

TEST_F(SealCatalogueTest, StampableSealsAreListedWithTheirPicturesAndEverySealHasItsRecord) {
  Configure(
      "serial=KEY-7\n"
      "seal=Official|Unit A|Alice|S-1|.gif|47494600FF\n"
      "seal=Legacy|Unit A|Alice|S-2|.bmp|424D\n"
      "seal=Contract|Unit B|Bob|S-3|.png|89504E47000D\n"
      "seal=Old|Unit B|Bob|S-4|.BMP|424D\n"
      "seal=Script|Unit B|Bob|S-5|.ZqF|00\n");
  ASSERT_TRUE(catalogue_.LoadSealCatalogue(sealList_));

  EXPECT_EQ(catalogue_.KeySerial(), u"KEY-7");
  EXPECT_THAT(Items(sealList_), ElementsAre(u"Official", u"Contract"));
  EXPECT_EQ(catalogue_.ListedNames(), Items(sealList_));
  ASSERT_EQ(catalogue_.Pictures().size(), 2u);
  EXPECT_EQ(catalogue_.FindSealPicture(u"Contract"), 1);
  EXPECT_EQ(catalogue_.FindSealPicture(u"Legacy"), -1);
  // The pictures come as the key hands them over, bytes exact (a NUL and an odd count included).
  EXPECT_EQ(Bytes(catalogue_.PictureBytes(0)), (std::vector<uint8_t>{0x47, 0x49, 0x46, 0x00, 0xFF}));
  EXPECT_EQ(Bytes(catalogue_.PictureBytes(1)), (std::vector<uint8_t>{0x89, 0x50, 0x4E, 0x47, 0x00, 0x0D}));

  const auto& records = catalogue_.Records();
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(records[static_cast<size_t>(i)].SignName.empty()) << "record " << i;
  EXPECT_EQ(catalogue_.FindSealRecord(u"Old"), 3);
  EXPECT_EQ(catalogue_.FindSealRecord(u"official"), -1) << "names compare case-sensitively";
  const SealRecord& contract = records[2];
  EXPECT_EQ(contract.UnitName, u"Unit B");
  EXPECT_EQ(contract.UserName, u"Bob");
  EXPECT_EQ(contract.SerialNumber, u"S-3");
  EXPECT_EQ(contract.SignExt, u".png");
}

TEST_F(SealCatalogueTest, KeyIsReadInTheOrderTheKeyObjectExpects) {
  Configure("seal=A|U|N|S|.gif|01\nseal=B|U|N|S|.bmp|02\n");
  ASSERT_TRUE(catalogue_.LoadSealCatalogue(sealList_));
  EXPECT_THAT(Calls(), ElementsAre("KeyObject.WebCreateKeyObject method", "KeyObject.WebOpenKeyObject method",
                                   "KeyObject.WebGetKeySerialNumber method",
                                   "KeyObject.WebLoadSignatureEx method BOOL:true I4:-1", "KeyObject.SignCount get",
                                   "KeyObject.WebLoadSignatureEx method BOOL:true I4:0",
                                   "KeyObject.HeadInformations get I4:0", "Header.SignName get",
                                   "Header.SerialNumber get", "Header.UserName get", "Header.UnitName get",
                                   "Header.SignExt get", "Header.ImgValue get", "KeyObject.DeCodeImgData method BSTR:01",
                                   "KeyObject.WebLoadSignatureEx method BOOL:true I4:1",
                                   "KeyObject.HeadInformations get I4:1", "Header.SignName get",
                                   "Header.SerialNumber get", "Header.UserName get", "Header.UnitName get",
                                   "Header.SignExt get", "KeyObject.WebDeleteKeyObject method"));
}

TEST_F(SealCatalogueTest, SameNameTwiceFindsTheFirst) {
  Configure("seal=Twin|First|U|S-1|.png|01\nseal=Twin|Second|U|S-2|.png|02\n");
  ASSERT_TRUE(catalogue_.LoadSealCatalogue(sealList_));
  EXPECT_EQ(catalogue_.FindSealRecord(u"Twin"), 0);
  EXPECT_EQ(catalogue_.FindSealPicture(u"Twin"), 0);
  EXPECT_EQ(Bytes(catalogue_.PictureBytes(catalogue_.FindSealPicture(u"Twin"))), std::vector<uint8_t>{0x01});
}

TEST_F(SealCatalogueTest, NothingToStampOrNoKey) {
  Configure("seal=Legacy|U|N|S|.bmp|01\nseal=Script|U|N|S|.zqf|02\n");
  EXPECT_FALSE(catalogue_.LoadSealCatalogue(sealList_)) << "only .bmp and .zqf seals";
  EXPECT_EQ(catalogue_.FindSealRecord(u"Script"), 1);

  Configure("");
  EXPECT_FALSE(SealCatalogue().LoadSealCatalogue(sealList_)) << "no seal";
  Configure("signcount=-1\nseal=A|U|N|S|.png|01\n");
  EXPECT_FALSE(SealCatalogue().LoadSealCatalogue(sealList_)) << "a negative count";
  Configure("nocreate=KeyObject\nseal=A|U|N|S|.png|01\n");
  EXPECT_FALSE(SealCatalogue().LoadSealCatalogue(sealList_)) << "no key object";
  EXPECT_EQ(sealList_.Count(), 0);
}

TEST_F(SealCatalogueTest, MissingHeaderOrPictureSkipsOnlyThatSeal) {
  Configure("noheader=1\nfail=DeCodeImgData\nseal=A|U|N|S|.png|01\nseal=B|U|N|S|.png|02\nseal=C|U|N|S|.png|03\n");
  ASSERT_TRUE(catalogue_.LoadSealCatalogue(sealList_));
  EXPECT_THAT(Items(sealList_), ElementsAre(u"A", u"C"));
  EXPECT_TRUE(catalogue_.Records()[1].SignName.empty());
  EXPECT_EQ(catalogue_.FindSealRecord(u"C"), 2);
  // A picture the key could not decode stays empty; the seal is still offered.
  EXPECT_EQ(catalogue_.Pictures()[1].picture.Type(), platform::com::VT_EMPTY);
  EXPECT_TRUE(catalogue_.PictureBytes(1).empty());
}

TEST_F(SealCatalogueTest, KeyWithMoreThanFiftySealsKeepsThemAll) {
  std::string config;
  for (int i = 0; i < 53; ++i) config += "seal=Seal " + std::to_string(i) + "|U|N|S-" + std::to_string(i) + "|.png|0A\n";
  Configure(config);
  ASSERT_TRUE(catalogue_.LoadSealCatalogue(sealList_));
  EXPECT_EQ(sealList_.Count(), 53);
  EXPECT_EQ(catalogue_.FindSealRecord(u"Seal 52"), 52);
  EXPECT_EQ(catalogue_.Records()[52].SerialNumber, u"S-52");
  EXPECT_EQ(catalogue_.FindSealPicture(u"Seal 52"), 52);
}

TEST_F(SealCatalogueTest, FailedLookupReloadsAndKeepsListAndPicturesInStep) {
  Configure("seal=A|U|N|S|.png|01\n");
  ASSERT_TRUE(catalogue_.LoadSealCatalogue(sealList_));
  // A seal added to the key while the dialog is open.
  Configure("seal=A|U|N|S|.png|01\nseal=B|U|N|S|.png|02\n");
  EXPECT_EQ(catalogue_.LookupSealPicture(u"A", sealList_), 0);
  EXPECT_EQ(catalogue_.LookupSealPicture(u"B", sealList_), 1);
  EXPECT_THAT(Items(sealList_), ElementsAre(u"A", u"B")) << "A is not listed twice";
  EXPECT_EQ(Bytes(catalogue_.PictureBytes(1)), std::vector<uint8_t>{0x02});

  // A typed name no seal has: still not found after the reload, and the lists do not grow.
  EXPECT_EQ(catalogue_.LookupSealPicture(u"Typed", sealList_), -1);
  EXPECT_EQ(sealList_.Count(), 2);
  EXPECT_EQ(catalogue_.Pictures().size(), 2u);
}

}  // namespace
}  // namespace sealrun::seal::testing
