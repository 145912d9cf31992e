// The guard at COM entry points: what each kind of exception gives, a method's own failure value, the trace
// that names the function, and IDispatch::Invoke of a table-driven object whose handler throws.
#include "platform/com/Guard.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

#include "platform/com/Bstr.h"
#include "platform/com/InvokeByName.h"
#include "tests/platform/com/ComTestSupport.h"

namespace sealrun::platform::com {
namespace {

HRESULT Throws(int kind) {
  switch (kind) {
    case 0: throw std::bad_alloc();
    case 1: throw std::runtime_error("disk gone");
    default: throw kind;  // not a std::exception
  }
}

TEST(Guard, AnExceptionBecomesOutOfMemoryOrTheMethodsFailureAndNeverLeaves) {
  EXPECT_EQ(Guard("f", [] { return S_FALSE; }), S_FALSE) << "a body that returns is answered as it is";
  EXPECT_EQ(Guard("f", [] { return Throws(0); }), E_OUTOFMEMORY);
  EXPECT_EQ(Guard("f", [] { return Throws(1); }), E_UNEXPECTED);
  EXPECT_EQ(Guard("f", [] { return Throws(2); }), E_UNEXPECTED);
  EXPECT_EQ(Guard("f", E_FAIL, [] { return Throws(1); }), E_FAIL) << "a method's documented failure";
  EXPECT_EQ(Guard("f", E_FAIL, [] { return Throws(0); }), E_OUTOFMEMORY) << "out of memory stays out of memory";

  // A method that reports more is handed the exception's text.
  int reports = 0;
  bool textSeen = false;
  const auto report = [&](std::string_view what) noexcept {
    ++reports;
    textSeen = what == "disk gone";
    return DISP_E_EXCEPTION;
  };
  EXPECT_EQ(Guard("f", report, [] { return Throws(1); }), DISP_E_EXCEPTION);
  EXPECT_TRUE(textSeen);
  EXPECT_EQ(Guard("f", report, [] { return Throws(2); }), DISP_E_EXCEPTION);
  EXPECT_FALSE(textSeen) << "an exception that is not a std::exception has no text";
  EXPECT_EQ(Guard("f", report, [] { return Throws(0); }), E_OUTOFMEMORY);
  EXPECT_EQ(reports, 2) << "out of memory is never reported as the method's own failure";
}

TEST(Guard, TheDebugTraceNamesTheFunctionAndWhatWasThrown) {
  {
    sealrun::testing::ScopedEnv quiet("SEALRUN_DEBUG", std::nullopt);
    ::testing::internal::CaptureStderr();
    Guard("CThing::Method", [] { return Throws(1); });
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "traces only when asked for";
  }
  sealrun::testing::ScopedEnv debug("SEALRUN_DEBUG", "1");
  ::testing::internal::CaptureStderr();
  Guard("CThing::Method", [] { return Throws(1); });
  Guard({ClassName<testing::Echo>(), "Invoke"}, [] { return Throws(0); });
  Guard("CThing::Other", [] { return Throws(2); });
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "com: CThing::Method: disk gone\n"
            "com: Echo::Invoke: out of memory\n"
            "com: CThing::Other: an exception that is not a std::exception\n");
}

// An automation object whose one method throws what its argument asks for.
class Thrower final : public DispatchObject<Thrower, IDispatch> {
 public:
  static const DispatchTable<Thrower>& DispatchMembers() {
    static const DispatchTable<Thrower> table{{{.name = u"Throw", .id = 1, .argCount = 1, .method = &Thrower::Throw}}};
    return table;
  }

 private:
  HRESULT Throw(DispatchCall& call) {
    int32_t kind = 0;
    if (const HRESULT hr = call.ArgInt(0, kind); FAILED(hr)) return hr;
    return Throws(kind);
  }
};

TEST(Guard, InvokeReportsAThrowingHandlerThroughExceptionInfo) {
  ComPtr<Thrower> thrower;
  ASSERT_EQ(Thrower::Create(thrower), S_OK);
  Variant result(7);
  EXCEPINFO exception{};
  EXPECT_EQ(InvokeByName(thrower.Get(), u"Throw", DISPATCH_METHOD, {Variant(0)}, result.Get(), &exception),
            E_OUTOFMEMORY);
  EXPECT_EQ(result.Get()->lVal, 7) << "the result stays as it was";

  EXPECT_EQ(InvokeByName(thrower.Get(), u"Throw", DISPATCH_METHOD, {Variant(1)}, result.Get(), &exception),
            DISP_E_EXCEPTION);
  EXPECT_EQ(exception.scode, E_FAIL);
  EXPECT_EQ(Bstr::Attach(exception.bstrDescription).View(), u"disk gone");

  exception = {};
  EXPECT_EQ(InvokeByName(thrower.Get(), u"Throw", DISPATCH_METHOD, {Variant(2)}, result.Get(), &exception),
            DISP_E_EXCEPTION);
  EXPECT_EQ(exception.scode, E_FAIL);
  EXPECT_EQ(Bstr::Attach(exception.bstrDescription).View(), u"");
  EXPECT_EQ(InvokeByName(thrower.Get(), u"Throw", DISPATCH_METHOD, {Variant(2)}, result.Get(), nullptr),
            DISP_E_EXCEPTION)
      << "without a place for the exception's text";
}

}  // namespace
}  // namespace sealrun::platform::com
