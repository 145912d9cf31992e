#include <gtest/gtest.h>

#include <cstring>

#include "platform/com/Variant.h"
#include "tests/platform/com/ComTestSupport.h"

namespace sealrun::platform::com {
namespace {

using testing::Echo;
using testing::TextOf;

TEST(VariantTest, CopyDuplicatesBstrBytesAndClearFreesThem) {
  const char bytes[] = {'a', '\0', '\xFE'};
  Variant source = Variant::AttachBstr(SysAllocStringByteLen(bytes, 3));
  Variant copy(source);
  ASSERT_EQ(copy.Type(), VT_BSTR);
  EXPECT_NE(copy.Get()->bstrVal, source.Get()->bstrVal);
  EXPECT_EQ(SysStringByteLen(copy.Get()->bstrVal), 3u);
  EXPECT_EQ(std::memcmp(copy.Get()->bstrVal, bytes, 3), 0);
  EXPECT_EQ(VariantClear(copy.Get()), S_OK);
  EXPECT_EQ(copy.Type(), VT_EMPTY);
  // Copying a null BSTR keeps it null.
  Variant nullText = Variant::AttachBstr(nullptr);
  Variant nullCopy(nullText);
  EXPECT_EQ(nullCopy.Type(), VT_BSTR);
  EXPECT_EQ(nullCopy.Get()->bstrVal, nullptr);
}

TEST(VariantTest, CopyAndClearBalanceInterfaceReferences) {
  ComPtr<Echo> echo;
  ASSERT_EQ(Echo::Create(echo), S_OK);
  EXPECT_EQ(echo->References(), 1u);
  {
    Variant held(static_cast<IDispatch*>(echo.Get()));
    EXPECT_EQ(echo->References(), 2u);
    VARIANT raw;
    VariantInit(&raw);
    ASSERT_EQ(VariantCopy(&raw, held.Get()), S_OK);
    EXPECT_EQ(echo->References(), 3u);
    // Copying over a variant releases what it held.
    ASSERT_EQ(VariantCopy(&raw, Variant(7).Get()), S_OK);
    EXPECT_EQ(echo->References(), 2u);
    EXPECT_EQ(raw.vt, VT_I4);
    Variant moved(std::move(held));
    EXPECT_EQ(echo->References(), 2u);
  }
  EXPECT_EQ(echo->References(), 1u);
}

TEST(VariantTest, ByReferenceValuesAreCopiedAsPointersOrFollowed) {
  LONG number = 41;
  BSTR text = SysAllocString(u"ref");
  Variant inner(u"inner");
  Variant refNumber = Variant::ByRef(VT_I4, &number);
  Variant refText = Variant::ByRef(VT_BSTR, &text);
  Variant refVariant = Variant::ByRef(VT_VARIANT, inner.Get());

  Variant shallow(refNumber);
  EXPECT_EQ(shallow.Type(), VT_BYREF | VT_I4);
  EXPECT_EQ(shallow.Get()->plVal, &number);

  Variant value;
  ASSERT_EQ(VariantCopyInd(value.Get(), refNumber.Get()), S_OK);
  number = 99;
  EXPECT_EQ(value.Get()->lVal, 41);
  ASSERT_EQ(VariantCopyInd(value.Get(), refText.Get()), S_OK);
  EXPECT_NE(value.Get()->bstrVal, text) << "the referenced BSTR is duplicated, not shared";
  EXPECT_EQ(TextOf(*value.Get()), u"ref");
  ASSERT_EQ(VariantCopyInd(value.Get(), refVariant.Get()), S_OK);
  EXPECT_EQ(TextOf(*value.Get()), u"inner");
  // Clearing a by-reference variant frees nothing it points to.
  EXPECT_EQ(VariantClear(refText.Get()), S_OK);
  EXPECT_EQ(SysStringLen(text), 3u);
  SysFreeString(text);
}

TEST(VariantTest, ConvertsToText) {
  const auto text = [](const Variant& v, WORD flags = 0) {
    Variant out;
    const HRESULT hr = VariantChangeType(out.Get(), v.Get(), flags, VT_BSTR);
    return SUCCEEDED(hr) ? TextOf(*out.Get()) : u"error";
  };
  EXPECT_EQ(text(Variant(-42)), u"-42");
  EXPECT_EQ(text(Variant::UI4(4000000000u)), u"4000000000");
  EXPECT_EQ(text(Variant::UI8(18446744073709551615ull)), u"18446744073709551615");
  EXPECT_EQ(text(Variant(0.1)), u"0.1");
  EXPECT_EQ(text(Variant(2.5)), u"2.5");
  EXPECT_EQ(text(Variant(1e20)), u"1E+20");
  EXPECT_EQ(text(Variant(true)), u"-1");
  EXPECT_EQ(text(Variant(false)), u"0");
  EXPECT_EQ(text(Variant(true), VARIANT_ALPHABOOL), u"True");
  EXPECT_EQ(text(Variant()), u"");
  EXPECT_EQ(text(Variant::Null()), u"error");
  EXPECT_EQ(text(Variant::Missing()), u"error");
  LONG number = 5;
  EXPECT_EQ(text(Variant::ByRef(VT_I4, &number)), u"5");
}

TEST(VariantTest, ConvertsToNumbersAndBooleans) {
  const auto toInt = [](const Variant& v, LONG& out) {
    Variant converted;
    const HRESULT hr = VariantChangeType(converted.Get(), v.Get(), 0, VT_I4);
    if (SUCCEEDED(hr)) out = converted.Get()->lVal;
    return hr;
  };
  LONG value = 0;
  EXPECT_EQ(toInt(Variant(u" 12 "), value), S_OK);
  EXPECT_EQ(value, 12);
  EXPECT_EQ(toInt(Variant(u"-7"), value), S_OK);
  EXPECT_EQ(value, -7);
  EXPECT_EQ(toInt(Variant(u"2.5"), value), S_OK);
  EXPECT_EQ(value, 2) << "halves round to even";
  EXPECT_EQ(toInt(Variant(3.5), value), S_OK);
  EXPECT_EQ(value, 4);
  EXPECT_EQ(toInt(Variant(u"TRUE"), value), S_OK);
  EXPECT_EQ(value, -1);
  EXPECT_EQ(toInt(Variant(u"seal"), value), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(toInt(Variant(u""), value), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(toInt(Variant(u"99999999999"), value), DISP_E_OVERFLOW);
  EXPECT_EQ(toInt(Variant(1e10), value), DISP_E_OVERFLOW);
  EXPECT_EQ(toInt(Variant::UI4(0x80000000u), value), DISP_E_OVERFLOW);
  EXPECT_EQ(toInt(Variant::Null(), value), DISP_E_TYPEMISMATCH);

  EXPECT_EQ(Variant(u"false").AsBool(), false);
  EXPECT_EQ(Variant(u"True").AsBool(), true);
  EXPECT_EQ(Variant(u"0").AsBool(), false);
  EXPECT_EQ(Variant(3).AsBool(), true);
  EXPECT_EQ(Variant(u"maybe").AsBool(), std::nullopt);
  Variant small;
  EXPECT_EQ(VariantChangeType(small.Get(), Variant(300).Get(), 0, VT_UI1), DISP_E_OVERFLOW);
  EXPECT_EQ(VariantChangeType(small.Get(), Variant(-1).Get(), 0, VT_UI4), DISP_E_OVERFLOW);
}

TEST(VariantTest, ConversionInPlaceAndFailureLeavesTargetUntouched) {
  Variant value(u"123");
  ASSERT_EQ(VariantChangeType(value.Get(), value.Get(), 0, VT_I4), S_OK);
  EXPECT_EQ(value.Type(), VT_I4);
  EXPECT_EQ(value.Get()->lVal, 123);
  Variant target(u"kept");
  EXPECT_EQ(VariantChangeType(target.Get(), Variant(u"x").Get(), 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(TextOf(*target.Get()), u"kept");
}

TEST(VariantTest, VarBstrCmpIsOrdinalAndTreatsNullAsEmpty) {
  Bstr a(u"a");
  Bstr b(u"b");
  Bstr upperB(u"B");
  Bstr ab(u"ab");
  Bstr empty(u"");
  EXPECT_EQ(VarBstrCmp(a.Get(), b.Get(), 0x400, 0), VARCMP_LT);
  EXPECT_EQ(VarBstrCmp(b.Get(), a.Get(), 0x400, 0), VARCMP_GT);
  EXPECT_EQ(VarBstrCmp(a.Get(), Bstr(u"a").Get(), 0x400, 0), VARCMP_EQ);
  EXPECT_EQ(VarBstrCmp(upperB.Get(), a.Get(), 0x400, 0), VARCMP_LT) << "ordinal: 'B' (0x42) sorts before 'a'";
  EXPECT_EQ(VarBstrCmp(upperB.Get(), b.Get(), 0x400, NORM_IGNORECASE), VARCMP_EQ);
  EXPECT_EQ(VarBstrCmp(a.Get(), ab.Get(), 0x400, 0), VARCMP_LT);
  EXPECT_EQ(VarBstrCmp(nullptr, empty.Get(), 0x400, 0), VARCMP_EQ);
  EXPECT_EQ(VarBstrCmp(nullptr, a.Get(), 0x400, 0), VARCMP_LT);
  EXPECT_EQ(VarBstrCmp(Bstr(u"Brasmoor:AddSeal").Get(), Bstr(u"Widget").Get(), 0x400, 0), VARCMP_LT);
}

TEST(VariantTest, MissingArgumentAndUnknownTypes) {
  const Variant missing = Variant::Missing();
  EXPECT_TRUE(missing.IsMissing());
  EXPECT_EQ(missing.Get()->scode, DISP_E_PARAMNOTFOUND);
  VARIANT strange;
  VariantInit(&strange);
  strange.vt = 0x0FFF;
  EXPECT_EQ(VariantClear(&strange), DISP_E_BADVARTYPE);
  Variant target;
  EXPECT_EQ(VariantCopy(target.Get(), &strange), DISP_E_BADVARTYPE);
  EXPECT_EQ(target.Type(), VT_EMPTY);
}

}  // namespace
}  // namespace sealrun::platform::com
