// The dispatch table, the call helpers and the object base, on objects of this process.
#include <gtest/gtest.h>

#include <string>

#include "platform/com/InvokeByName.h"
#include "tests/platform/com/ComTestSupport.h"

namespace sealrun::platform::com {
namespace {

using testing::Echo;
using testing::TextOf;

ComPtr<IDispatch> MakeEcho(ComPtr<Echo>* keep = nullptr) {
  ComPtr<Echo> echo;
  EXPECT_EQ(Echo::Create(echo), S_OK);
  if (keep) *keep = echo;
  return ComPtr<IDispatch>(echo.Get());
}

TEST(DispatchTest, NamesResolveWithoutCaseAndOnlyWithTheNullInterfaceId) {
  ComPtr<IDispatch> echo = MakeEcho();
  std::u16string name = u"eChO";
  std::u16string parameter = u"value";
  LPOLESTR names[] = {name.data(), parameter.data()};
  DISPID ids[2] = {0, 0};
  ASSERT_EQ(echo->GetIDsOfNames(IID_NULL, names, 1, kAutomationLocale, ids), S_OK);
  EXPECT_EQ(ids[0], 1);
  EXPECT_EQ(echo->GetIDsOfNames(IID_NULL, names, 2, kAutomationLocale, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], 1) << "the member resolves even when a parameter name does not";
  EXPECT_EQ(ids[1], DISPID_UNKNOWN);
  EXPECT_EQ(echo->GetIDsOfNames(IID_IDispatch, names, 1, kAutomationLocale, ids), DISP_E_UNKNOWNINTERFACE);
  std::u16string unknown = u"Echo2";
  LPOLESTR unknownNames[] = {unknown.data()};
  EXPECT_EQ(echo->GetIDsOfNames(IID_NULL, unknownNames, 1, kAutomationLocale, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], DISPID_UNKNOWN);
  UINT count = 9;
  EXPECT_EQ(echo->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 0u);
}

TEST(DispatchTest, ArgumentsAreReadInReverseAndErrorsNameTheirPosition) {
  ComPtr<IDispatch> echo = MakeEcho();
  // Pair(3, "x"): rgvarg holds "x" first, then 3.
  Variant arguments[] = {Variant(u"x"), Variant(3)};
  VARIANT raw[] = {*arguments[0].Get(), *arguments[1].Get()};
  DISPPARAMS params{raw, nullptr, 2, 0};
  Variant result;
  UINT argumentError = 99;
  ASSERT_EQ(echo->Invoke(3, IID_NULL, kAutomationLocale, DISPATCH_METHOD, &params, result.Out(), nullptr,
                         &argumentError),
            S_OK);
  EXPECT_EQ(TextOf(*result.Get()), u"3x");

  // Pair("y", "x"): the first argument (rgvarg[1]) does not convert to a number.
  Variant wrong(u"y");
  raw[1] = *wrong.Get();
  EXPECT_EQ(echo->Invoke(3, IID_NULL, kAutomationLocale, DISPATCH_METHOD, &params, result.Out(), nullptr,
                         &argumentError),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argumentError, 1u);
  EXPECT_EQ(echo->Invoke(3, IID_IDispatch, kAutomationLocale, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
            DISP_E_UNKNOWNINTERFACE);
  EXPECT_EQ(echo->Invoke(42, IID_NULL, kAutomationLocale, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(echo->Invoke(3, IID_NULL, kAutomationLocale, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
            E_INVALIDARG);
}

TEST(DispatchTest, ByReferenceAndMissingArgumentsReachTheHandler) {
  ComPtr<IDispatch> echo = MakeEcho();
  LONG number = 5;
  BSTR text = SysAllocString(u"by ref");
  Variant result;
  ASSERT_EQ(InvokeByName(echo.Get(), u"Pair", DISPATCH_METHOD,
                         {Variant::ByRef(VT_I4, &number), Variant::ByRef(VT_BSTR, &text)}, result.Out()),
            S_OK);
  EXPECT_EQ(TextOf(*result.Get()), u"5by ref");
  SysFreeString(text);
  ASSERT_EQ(InvokeByName(echo.Get(), u"Echo", DISPATCH_METHOD, {Variant::Missing()}, result.Out()), S_OK);
  EXPECT_TRUE(result.IsMissing());
}

TEST(DispatchTest, PropertyPutNeedsItsNamedValue) {
  ComPtr<Echo> object;
  ComPtr<IDispatch> echo = MakeEcho(&object);
  Variant value(u"stored");
  VARIANT raw[] = {*value.Get()};
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS put{raw, &putId, 1, 1};
  ASSERT_EQ(echo->Invoke(2, IID_NULL, kAutomationLocale, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(object->text, u"stored");
  DISPPARAMS unnamed{raw, nullptr, 1, 0};
  EXPECT_EQ(echo->Invoke(2, IID_NULL, kAutomationLocale, DISPATCH_PROPERTYPUT, &unnamed, nullptr, nullptr, nullptr),
            DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(echo->Invoke(1, IID_NULL, kAutomationLocale, DISPATCH_METHOD, &put, nullptr, nullptr, nullptr),
            DISP_E_NONAMEDARGS);
  EXPECT_EQ(echo->Invoke(1, IID_NULL, kAutomationLocale, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND) << "a method is not a property";
  ASSERT_EQ(InvokeByName(echo.Get(), u"text", DISPATCH_PROPERTYPUTREF, {Variant(12)}, nullptr), S_OK);
  EXPECT_EQ(object->text, u"12") << "the value is converted to the property's type";
}

// An object that aggregates an Echo: the outer answers IUnknown, the inner answers IDispatch.
class Outer final : public ComObject<Outer, ISupportErrorInfo> {
 public:
  HRESULT InterfaceSupportsErrorInfo(REFIID iid) override { return iid == IID_IDispatch ? S_OK : S_FALSE; }
  ComPtr<IUnknown> inner;

 protected:
  HRESULT FinalConstruct() override {
    return Echo::CreateObject(IdentityUnknown(), IID_IUnknown, inner.OutVoid());
  }
  HRESULT QueryOtherInterface(REFIID iid, void** object) override { return inner->QueryInterface(iid, object); }
};

class AggregatableEcho final : public DispatchObject<AggregatableEcho, IDispatch> {
 public:
  static constexpr bool kAggregatable = true;
  static const DispatchTable<AggregatableEcho>& DispatchMembers() {
    static const DispatchTable<AggregatableEcho> table{{{.name = u"Ping", .id = 1, .method = &AggregatableEcho::Ping}}};
    return table;
  }
  HRESULT Ping(DispatchCall& call) { return call.ReturnString(u"pong"); }
};

class AggregatingOuter final : public ComObject<AggregatingOuter, ISupportErrorInfo> {
 public:
  HRESULT InterfaceSupportsErrorInfo(REFIID) override { return S_OK; }
  ComPtr<IUnknown> inner;

 protected:
  HRESULT FinalConstruct() override {
    return AggregatableEcho::CreateObject(IdentityUnknown(), IID_IUnknown, inner.OutVoid());
  }
  HRESULT QueryOtherInterface(REFIID iid, void** object) override { return inner->QueryInterface(iid, object); }
};

TEST(ComObjectTest, AggregationSharesOneIdentityAndOneLifetime) {
  ComPtr<Outer> refused;
  EXPECT_EQ(Outer::Create(refused), CLASS_E_NOAGGREGATION) << "Echo does not allow aggregation";
  EXPECT_FALSE(refused);

  const long before = ModuleObjectCount().load();
  {
    ComPtr<AggregatingOuter> outer;
    ASSERT_EQ(AggregatingOuter::Create(outer), S_OK);
    EXPECT_EQ(ModuleObjectCount().load(), before + 2);
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(outer.As(dispatch), S_OK) << "the outer answers the inner's interface";
    ComPtr<ISupportErrorInfo> back;
    ASSERT_EQ(dispatch.As(back), S_OK) << "the inner's QueryInterface goes to the outer";
    EXPECT_TRUE(IsSameObject(dispatch.Get(), outer.Get()));
    Variant result;
    ASSERT_EQ(InvokeByName(dispatch.Get(), u"Ping", DISPATCH_METHOD, {}, result.Out()), S_OK);
    EXPECT_EQ(TextOf(*result.Get()), u"pong");
    outer.Reset();
    back.Reset();
    EXPECT_EQ(ModuleObjectCount().load(), before + 2) << "the inner's interface holds the outer";
  }
  EXPECT_EQ(ModuleObjectCount().load(), before);

  ComPtr<IUnknown> notUnknown;
  ComPtr<Echo> outerEcho;
  ASSERT_EQ(Echo::Create(outerEcho), S_OK);
  EXPECT_EQ(AggregatableEcho::CreateObject(static_cast<IDispatch*>(outerEcho.Get()), IID_IDispatch, notUnknown.OutVoid()),
            CLASS_E_NOAGGREGATION)
      << "an aggregated object is created for IUnknown only";
}

TEST(ComObjectTest, ComPtrBalancesReferences) {
  ComPtr<Echo> echo;
  ASSERT_EQ(Echo::Create(echo), S_OK);
  {
    ComPtr<Echo> copy = echo;
    EXPECT_EQ(echo->References(), 2u);
    ComPtr<Echo> moved = std::move(copy);
    EXPECT_EQ(echo->References(), 2u);
    IDispatch* raw = nullptr;
    ASSERT_EQ(moved.CopyTo(reinterpret_cast<Echo**>(&raw)), S_OK);
    EXPECT_EQ(echo->References(), 3u);
    ComPtr<IDispatch> adopted;
    adopted.Attach(raw);
    EXPECT_EQ(echo->References(), 3u);
  }
  EXPECT_EQ(echo->References(), 1u);
  ComPtr<IClassFactory> none;
  EXPECT_EQ(echo.As(none), E_NOINTERFACE);
  EXPECT_FALSE(none);
}

}  // namespace
}  // namespace sealrun::platform::com
