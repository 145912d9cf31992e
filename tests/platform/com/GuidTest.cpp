#include <gtest/gtest.h>

#include <cstring>

#include "platform/com/ComRuntime.h"
#include "platform/com/Guid.h"

namespace sealrun::platform::com {
namespace {

TEST(GuidTest, TextRoundTripsAndIsWrittenInUpperCase) {
  const auto parsed = ParseGuid(u"{779bbb88-7e53-48d3-a246-b861eadc7f93}");
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(parsed->Data1, 0x779BBB88u);
  EXPECT_EQ(parsed->Data2, 0x7E53);
  EXPECT_EQ(parsed->Data3, 0x48D3);
  EXPECT_EQ(parsed->Data4[0], 0xA2);
  EXPECT_EQ(parsed->Data4[7], 0x93);
  EXPECT_EQ(FormatGuid(*parsed), u"{779BBB88-7E53-48D3-A246-B861EADC7F93}");
  EXPECT_EQ(ParseGuid(FormatGuid(*parsed)), parsed);

  OLECHAR buffer[39];
  EXPECT_EQ(StringFromGUID2(IID_IDispatch, buffer, 39), 39);
  EXPECT_EQ(std::u16string(buffer), u"{00020400-0000-0000-C000-000000000046}");
  EXPECT_EQ(StringFromGUID2(IID_IDispatch, buffer, 38), 0) << "no room for the NUL";
}

TEST(GuidTest, MalformedTextIsRejected) {
  for (const char16_t* text : {u"779BBB88-7E53-48D3-A246-B861EADC7F93", u"{779BBB88-7E53-48D3-A246-B861EADC7F9}",
                               u"{779BBB88-7E53-48D3-A246-B861EADC7F93", u" {779BBB88-7E53-48D3-A246-B861EADC7F93}",
                               u"{779BBB88-7E53-48D3-A246-B861EADC7G93}", u"{779BBB88+7E53-48D3-A246-B861EADC7F93}",
                               u"", u"{}"})
    EXPECT_FALSE(ParseGuid(std::u16string_view(text)).has_value()) << std::u16string_view(text).size();
  CLSID clsid{};
  EXPECT_EQ(CLSIDFromString(u"{779BBB88-7E53-48D3-A246-B861EADC7F9}", &clsid), CO_E_CLASSSTRING);
  EXPECT_EQ(IIDFromString(u"IDispatch", &clsid), E_INVALIDARG);
}

TEST(GuidTest, StandardInterfaceIdsHaveTheirWindowsValuesAndLayout) {
  EXPECT_EQ(FormatGuid(IID_IUnknown), u"{00000000-0000-0000-C000-000000000046}");
  EXPECT_EQ(FormatGuid(IID_IClassFactory), u"{00000001-0000-0000-C000-000000000046}");
  EXPECT_EQ(FormatGuid(IID_IStream), u"{0000000C-0000-0000-C000-000000000046}");
  EXPECT_EQ(FormatGuid(IID_IConnectionPointContainer), u"{B196B284-BAB4-101A-B69C-00AA00341D07}");
  EXPECT_EQ(FormatGuid(IID_IConnectionPoint), u"{B196B286-BAB4-101A-B69C-00AA00341D07}");
  EXPECT_EQ(FormatGuid(IID_ISupportErrorInfo), u"{DF0B3D60-548F-101B-8E65-08002B2BD119}");
  // In memory the first three fields are little-endian, the last eight bytes in order.
  const uint8_t expected[16] = {0x86, 0xB2, 0x96, 0xB1, 0xB4, 0xBA, 0x1A, 0x10,
                                0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07};
  EXPECT_EQ(std::memcmp(&IID_IConnectionPoint, expected, 16), 0);
  EXPECT_FALSE(IID_IConnectionPoint == IID_IConnectionPointContainer);
}

}  // namespace
}  // namespace sealrun::platform::com
