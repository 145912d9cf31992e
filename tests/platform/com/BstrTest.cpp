#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/com/Bstr.h"

namespace sealrun::platform::com {
namespace {

TEST(BstrTest, NullIsDistinctFromEmptyAndBothReadAsEmptyText) {
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  BSTR empty = SysAllocString(u"");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(SysStringLen(empty), 0u);
  EXPECT_EQ(empty[0], u'\0');
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysStringByteLen(nullptr), 0u);
  SysFreeString(empty);
  SysFreeString(nullptr);

  Bstr none;
  Bstr blank(u"");
  EXPECT_TRUE(none.IsNull());
  EXPECT_FALSE(blank.IsNull());
  EXPECT_EQ(none.View(), blank.View());
  EXPECT_TRUE(Bstr(none).IsNull()) << "copying a null BSTR keeps it null";
  EXPECT_FALSE(Bstr(blank).IsNull());
}

TEST(BstrTest, LengthPrefixCountsBytesAndATerminatingNulFollows) {
  Bstr text(u"签章ab");
  uint32_t prefix = 0;
  std::memcpy(&prefix, reinterpret_cast<const char*>(text.Get()) - 4, 4);
  EXPECT_EQ(prefix, 8u);
  EXPECT_EQ(text.Length(), 4u);
  EXPECT_EQ(text.Get()[4], u'\0');
  // Embedded NUL units belong to the content.
  const char16_t withNul[] = {u'a', u'\0', u'b'};
  BSTR raw = SysAllocStringLen(withNul, 3);
  EXPECT_EQ(SysStringLen(raw), 3u);
  EXPECT_EQ(raw[2], u'b');
  SysFreeString(raw);
}

TEST(BstrTest, CarriesBinaryAndOddLengthContent) {
  const char bytes[] = {'\x01', '\0', '\xFF', 'Z', '\x80'};
  BSTR raw = SysAllocStringByteLen(bytes, 5);
  ASSERT_NE(raw, nullptr);
  EXPECT_EQ(SysStringByteLen(raw), 5u);
  EXPECT_EQ(SysStringLen(raw), 2u) << "units round down";
  EXPECT_EQ(std::memcmp(raw, bytes, 5), 0);
  const auto* data = reinterpret_cast<const unsigned char*>(raw);
  EXPECT_EQ(data[5], 0);
  EXPECT_EQ(data[6], 0);

  // Copies keep every byte, including the odd one.
  const Bstr holder = Bstr::Attach(raw);
  const Bstr copy(holder);
  EXPECT_NE(copy.Get(), holder.Get());
  EXPECT_EQ(copy.ByteLength(), 5u);
  EXPECT_EQ(std::memcmp(copy.Bytes().data(), bytes, 5), 0);
  const std::vector<uint8_t> image = {0x89, 'P', 'N', 'G', 0, 0, 0};
  EXPECT_EQ(Bstr::FromBytes(image).ByteLength(), 7u);

  // A null source gives a zeroed buffer of the asked size.
  BSTR zeroed = SysAllocStringByteLen(nullptr, 3);
  EXPECT_EQ(SysStringByteLen(zeroed), 3u);
  EXPECT_EQ(reinterpret_cast<const unsigned char*>(zeroed)[1], 0);
  SysFreeString(zeroed);
}

TEST(BstrTest, ReallocationMayReadFromTheStringItReplaces) {
  BSTR text = SysAllocString(u"seal-record");
  ASSERT_EQ(SysReAllocString(&text, text + 5), 1);
  EXPECT_EQ(std::u16string(text, SysStringLen(text)), u"record");
  ASSERT_EQ(SysReAllocStringLen(&text, text, 3), 1);
  EXPECT_EQ(std::u16string(text, SysStringLen(text)), u"rec");
  SysFreeString(text);
}

TEST(BstrTest, ImpossibleSizesGiveNullInsteadOfOverflowing) {
  EXPECT_EQ(SysAllocStringLen(nullptr, 0x80000000u), nullptr);
  EXPECT_EQ(SysAllocStringByteLen(nullptr, 0xFFFFFFFFu), nullptr);
  BSTR text = SysAllocString(u"kept");
  EXPECT_EQ(SysReAllocStringLen(&text, nullptr, 0x80000000u), 0);
  EXPECT_EQ(std::u16string(text, SysStringLen(text)), u"kept") << "a failed reallocation keeps the old string";
  SysFreeString(text);
}

TEST(BstrTest, HolderOutParameterAndOwnershipTransfer) {
  Bstr holder(u"old");
  BSTR* slot = holder.Out();
  EXPECT_EQ(*slot, nullptr);
  *slot = SysAllocString(u"new");
  EXPECT_EQ(holder.View(), u"new");
  BSTR caller = nullptr;
  ASSERT_EQ(holder.CopyTo(&caller), S_OK);
  EXPECT_NE(caller, holder.Get());
  SysFreeString(caller);
  BSTR detached = holder.Detach();
  EXPECT_TRUE(holder.IsNull());
  SysFreeString(detached);
  BSTR answer = nullptr;
  ASSERT_EQ(MakeBstr(u"", &answer), S_OK);
  EXPECT_NE(answer, nullptr) << "an empty answer is an empty BSTR, not a null one";
  SysFreeString(answer);
  EXPECT_EQ(MakeBstr(u"x", nullptr), E_POINTER);
  Bstr moved(u"x");
  Bstr target = std::move(moved);
  EXPECT_TRUE(moved.IsNull());  // NOLINT(bugprone-use-after-move): moving leaves the holder null
  EXPECT_EQ(target.View(), u"x");
}

}  // namespace
}  // namespace sealrun::platform::com
