// End to end: the test server module is registered in a temporary registry, loaded with dlopen by
// CoCreateInstance and driven by member name, as the system drives its components.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "platform/com/ComRuntime.h"
#include "platform/com/InvokeByName.h"
#include "platform/com/RegKey.h"
#include "platform/com/Registration.h"
#include "platform/com/ServerModule.h"
#include "platform/fs/KnownFolders.h"
#include "platform/text/Utf.h"
#include "tests/platform/com/ComTestSupport.h"
#include "tests/platform/com/server/TestServerIds.h"

namespace sealrun::platform::com {
namespace {

using testing::RecordingSink;
using testing::TextOf;
using namespace testserver;

constexpr char kServerPath[] = SEALRUN_TEST_COM_SERVER;

ServerRegistration CounterRegistration(std::u16string modulePath = platform::text::Utf8ToUtf16(kServerPath)) {
  ServerRegistration registration;
  registration.clsid = kCounterClsid;
  registration.description = u"TestCounter Class";
  registration.modulePath = std::move(modulePath);
  registration.progId = kProgId;
  registration.versionIndependentProgId = kVersionIndependentProgId;
  return registration;
}

// The server module as the dynamic loader sees it (RTLD_NOLOAD does not load it).
bool LoaderHasServer() {
  void* handle = dlopen(kServerPath, RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  dlclose(handle);
  return true;
}

class ComRuntimeTest : public testing::TempRegistryTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    ASSERT_EQ(RegisterServer(CounterRegistration(), RegistrationScope::Machine), S_OK);
  }
  void TearDown() override { CoUninitialize(); }

  ComPtr<IDispatch> CreateCounter() {
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(CoCreateInstance(kCounterClsid, nullptr, CLSCTX_ALL, IID_IUnknown, unknown.OutVoid()), S_OK);
    ComPtr<IDispatch> counter;
    if (unknown) {
      EXPECT_EQ(unknown.As(counter), S_OK);
    }
    return counter;
  }
};

TEST_F(ComRuntimeTest, MethodsAndPropertiesAreCalledByName) {
  ComPtr<IDispatch> counter = CreateCounter();
  ASSERT_TRUE(counter);
  Variant result;
  ASSERT_EQ(InvokeByName(counter.Get(), u"Add", DISPATCH_METHOD, {Variant(2), Variant(40)}, result.Out()), S_OK);
  EXPECT_EQ(result.AsInt(), 42);
  ASSERT_EQ(InvokeByName(counter.Get(), u"concat", DISPATCH_METHOD, {Variant(u"a"), Variant(u"b"), Variant(u"c")},
                         result.Out()),
            S_OK)
      << "names resolve without regard to case";
  EXPECT_EQ(TextOf(*result.Get()), u"abc") << "arguments arrive in the order they were given";

  ASSERT_EQ(InvokeByName(counter.Get(), u"Name", DISPATCH_PROPERTYGET, {}, result.Out()), S_OK);
  EXPECT_EQ(TextOf(*result.Get()), u"counter");
  ASSERT_EQ(InvokeByName(counter.Get(), u"Name", DISPATCH_PROPERTYPUT, {Variant(u"印章")}, nullptr), S_OK);
  ASSERT_EQ(InvokeByName(counter.Get(), u"Name", DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, result.Out()), S_OK);
  EXPECT_EQ(TextOf(*result.Get()), u"印章");
}

TEST_F(ComRuntimeTest, UnknownNamesAndBadCallsAreReported) {
  ComPtr<IDispatch> counter = CreateCounter();
  ASSERT_TRUE(counter);
  Variant result(77);
  EXPECT_EQ(InvokeByName(counter.Get(), u"VerifyPin", DISPATCH_METHOD, {Variant(u"1234")}, result.Get()),
            DISP_E_UNKNOWNNAME);
  EXPECT_EQ(result.Type(), VT_I4);
  EXPECT_EQ(result.Get()->lVal, 77) << "a skipped call leaves the result as it was";
  EXPECT_EQ(InvokeByName(counter.Get(), u"Add", DISPATCH_METHOD, {Variant(1)}, result.Get()), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(InvokeByName(counter.Get(), u"Add", DISPATCH_METHOD, {Variant(1), Variant(u"x")}, result.Get()),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(result.Get()->lVal, 77) << "a failed call leaves the result as it was";
  EXPECT_EQ(InvokeByName(counter.Get(), u"Add", DISPATCH_PROPERTYGET, {Variant(1), Variant(2)}, result.Get()),
            DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(InvokeByName(counter.Get(), u"LiveObjects", DISPATCH_PROPERTYPUT, {Variant(1)}, nullptr),
            DISP_E_MEMBERNOTFOUND) << "a read-only property";

  EXCEPINFO exception{};
  EXPECT_EQ(InvokeByName(counter.Get(), u"Fail", DISPATCH_METHOD, std::initializer_list<Variant>{}, nullptr, &exception),
            DISP_E_EXCEPTION) << "an exception thrown inside the module stays inside it";
  EXPECT_EQ(exception.scode, E_FAIL);
  EXPECT_EQ(Bstr::Attach(exception.bstrDescription).View(), u"counter failure");
  EXPECT_EQ(InvokeByName(nullptr, u"Add", DISPATCH_METHOD, {}, nullptr), E_POINTER);
}

TEST_F(ComRuntimeTest, ProgIdsResolveThroughCurVer) {
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(u"Sealrun.TestCounter", &clsid), S_OK);
  EXPECT_EQ(clsid, kCounterClsid);
  clsid = CLSID_NULL;
  ASSERT_EQ(CLSIDFromProgID(u"sealrun.testcounter.1", &clsid), S_OK);
  EXPECT_EQ(clsid, kCounterClsid);
  EXPECT_EQ(CLSIDFromProgID(u"Sealrun.Nothing", &clsid), CO_E_CLASSSTRING);
  EXPECT_EQ(CLSIDFromProgID(u"", &clsid), CO_E_CLASSSTRING);

  // A version-independent ProgID that names only its current version.
  RegKey root;
  ASSERT_EQ(root.Create(HKEY_LOCAL_MACHINE, u"Software\\Classes\\Sealrun.OnlyCurVer\\CurVer"), ERROR_SUCCESS);
  ASSERT_EQ(root.SetString({}, kProgId), ERROR_SUCCESS);
  clsid = CLSID_NULL;
  ASSERT_EQ(CLSIDFromString(u"Sealrun.OnlyCurVer", &clsid), S_OK);
  EXPECT_EQ(clsid, kCounterClsid);
  // A CurVer naming itself does not loop.
  ASSERT_EQ(root.Create(HKEY_LOCAL_MACHINE, u"Software\\Classes\\Sealrun.Loop\\CurVer"), ERROR_SUCCESS);
  ASSERT_EQ(root.SetString({}, u"Sealrun.Loop"), ERROR_SUCCESS);
  EXPECT_EQ(CLSIDFromProgID(u"Sealrun.Loop", &clsid), CO_E_CLASSSTRING);

  LPOLESTR progId = nullptr;
  ASSERT_EQ(ProgIDFromCLSID(kCounterClsid, &progId), S_OK);
  EXPECT_EQ(std::u16string(progId), kProgId);
  CoTaskMemFree(progId);
  EXPECT_EQ(ProgIDFromCLSID(IID_IDispatch, &progId), REGDB_E_CLASSNOTREG);

  ComPtr<IDispatch> counter;
  ASSERT_EQ(CLSIDFromProgID(kVersionIndependentProgId, &clsid), S_OK);
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, counter.OutVoid()), S_OK);
}

TEST_F(ComRuntimeTest, EventsReachTheSinksOfTheConnectionPoint) {
  ComPtr<IDispatch> counter = CreateCounter();
  ASSERT_TRUE(counter);
  ComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(counter.As(container), S_OK);
  ComPtr<IConnectionPoint> point;
  ASSERT_EQ(container->FindConnectionPoint(kCounterEventsIid, point.Out()), S_OK);
  IID iid{};
  ASSERT_EQ(point->GetConnectionInterface(&iid), S_OK);
  EXPECT_EQ(iid, kCounterEventsIid);
  ComPtr<IConnectionPoint> none;
  EXPECT_EQ(container->FindConnectionPoint(IID_IStream, none.Out()), CONNECT_E_NOCONNECTION);

  ComPtr<RecordingSink> first;
  ComPtr<RecordingSink> second;
  ASSERT_EQ(RecordingSink::Create(first, kCounterEventsIid, kOnFiredId), S_OK);
  ASSERT_EQ(RecordingSink::Create(second, kCounterEventsIid, kOnFiredId), S_OK);
  DWORD firstCookie = 0;
  DWORD secondCookie = 0;
  ASSERT_EQ(point->Advise(static_cast<IDispatch*>(first.Get()), &firstCookie), S_OK);
  ASSERT_EQ(point->Advise(static_cast<IDispatch*>(second.Get()), &secondCookie), S_OK);
  EXPECT_NE(firstCookie, 0u);
  EXPECT_NE(firstCookie, secondCookie);

  ASSERT_EQ(InvokeByName(counter.Get(), u"Fire", DISPATCH_METHOD, {Variant(u"hello")}, nullptr), S_OK);
  ASSERT_EQ(point->Unadvise(firstCookie), S_OK);
  EXPECT_EQ(point->Unadvise(firstCookie), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(point->Unadvise(0xFEFEFEFE), CONNECT_E_NOCONNECTION);
  ASSERT_EQ(InvokeByName(counter.Get(), u"Fire", DISPATCH_METHOD, {Variant(u"again")}, nullptr), S_OK);

  using Received = std::vector<std::pair<std::u16string, int32_t>>;
  EXPECT_EQ(first->received, (Received{{u"hello", 1}}));
  EXPECT_EQ(second->received, (Received{{u"hello", 1}, {u"again", 2}}));

  // A sink that does not answer the event interface cannot connect.
  ComPtr<RecordingSink> stranger;
  ASSERT_EQ(RecordingSink::Create(stranger, IID_IStream, kOnFiredId), S_OK);
  DWORD cookie = 1;
  EXPECT_EQ(point->Advise(static_cast<IDispatch*>(stranger.Get()), &cookie), CONNECT_E_CANNOTCONNECT);
  EXPECT_EQ(cookie, 0u);
  // The point keeps its container alive.
  ComPtr<IConnectionPointContainer> owner;
  ASSERT_EQ(point->GetConnectionPointContainer(owner.Out()), S_OK);
  EXPECT_TRUE(IsSameObject(owner.Get(), counter.Get()));
  ASSERT_EQ(point->Unadvise(secondCookie), S_OK);
}

TEST_F(ComRuntimeTest, ModuleStaysLoadedWhileAnObjectOrALockLives) {
  ComPtr<IDispatch> counter = CreateCounter();
  ASSERT_TRUE(counter);
  EXPECT_TRUE(IsInprocServerLoaded(kServerPath));
  CoFreeUnusedLibraries();
  ASSERT_TRUE(IsInprocServerLoaded(kServerPath)) << "an object of the module is alive";
  Variant result;
  ASSERT_EQ(InvokeByName(counter.Get(), u"LiveObjects", DISPATCH_PROPERTYGET, {}, result.Out()), S_OK);
  EXPECT_EQ(result.AsInt(), 1) << "the class factory is gone, the counter remains";
  ASSERT_EQ(InvokeByName(counter.Get(), u"Add", DISPATCH_METHOD, {Variant(1), Variant(1)}, result.Out()), S_OK);
  counter.Reset();
  CoFreeUnusedLibraries();
  EXPECT_FALSE(IsInprocServerLoaded(kServerPath));
  EXPECT_FALSE(LoaderHasServer()) << "the module is unmapped once unused";

  ComPtr<IClassFactory> factory;
  ASSERT_EQ(CoGetClassObject(kCounterClsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, factory.OutVoid()), S_OK);
  ASSERT_EQ(factory->LockServer(1), S_OK);
  factory.Reset();
  CoFreeUnusedLibraries();
  EXPECT_TRUE(IsInprocServerLoaded(kServerPath)) << "a server lock keeps the module";
  ASSERT_EQ(CoGetClassObject(kCounterClsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, factory.OutVoid()), S_OK);
  ComPtr<IUnknown> outer;
  ASSERT_EQ(CoGetClassObject(kCounterClsid, CLSCTX_INPROC_SERVER, nullptr, IID_IUnknown, outer.OutVoid()), S_OK);
  ComPtr<IUnknown> aggregated;
  EXPECT_EQ(factory->CreateInstance(outer.Get(), IID_IUnknown, aggregated.OutVoid()), CLASS_E_NOAGGREGATION)
      << "the outer unknown reaches the factory";
  ASSERT_EQ(factory->LockServer(0), S_OK);
  factory.Reset();
  outer.Reset();
  CoFreeUnusedLibraries();
  EXPECT_FALSE(IsInprocServerLoaded(kServerPath));
}

TEST_F(ComRuntimeTest, UnknownClassesAndUnsupportedContextsFindNoServer) {
  const CLSID keyObject = *ParseGuid(u"{93D0FB2F-CBB1-45F7-AA6A-BEB170BA5A03}");
  ComPtr<IUnknown> object;
  EXPECT_EQ(CoCreateInstance(keyObject, nullptr, CLSCTX_ALL, IID_IUnknown, object.OutVoid()), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoCreateInstance(kCounterClsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, object.OutVoid()),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoCreateInstance(kCounterClsid, nullptr, CLSCTX_ALL, IID_IStream, object.OutVoid()), E_NOINTERFACE);
  EXPECT_FALSE(object);
  // A registered class whose server entry is missing.
  RegKey key;
  ASSERT_EQ(key.Create(HKEY_CLASSES_ROOT, u"CLSID\\" + FormatGuid(keyObject)), ERROR_SUCCESS);
  EXPECT_EQ(CoCreateInstance(keyObject, nullptr, CLSCTX_ALL, IID_IUnknown, object.OutVoid()), REGDB_E_CLASSNOTREG);
}

TEST_F(ComRuntimeTest, ServersThatCannotBeLoadedGiveClearResults) {
  const auto registerAt = [&](const std::string& path) {
    ASSERT_EQ(RegisterServer(CounterRegistration(platform::text::Utf8ToUtf16(path)), RegistrationScope::Machine), S_OK);
  };
  ComPtr<IUnknown> object;
  registerAt((Temp().Path() / "missing.so").string());
  EXPECT_EQ(CoCreateInstance(kCounterClsid, nullptr, CLSCTX_ALL, IID_IUnknown, object.OutVoid()),
            HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));

  const auto notAModule = Temp().Path() / "text.so";
  sealrun::testing::WriteFileBytes(notAModule, "this is not a shared object");
  registerAt(notAModule.string());
  EXPECT_EQ(CoCreateInstance(kCounterClsid, nullptr, CLSCTX_ALL, IID_IUnknown, object.OutVoid()),
            HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT));

  // A real shared object that is no COM server.
  double (*cosine)(double) = &std::cos;
  registerAt(fs::ModulePath(reinterpret_cast<const void*>(cosine)).string());
  EXPECT_EQ(CoCreateInstance(kCounterClsid, nullptr, CLSCTX_ALL, IID_IUnknown, object.OutVoid()), CO_E_ERRORINDLL);
  EXPECT_FALSE(object);
}

TEST_F(ComRuntimeTest, PerUserInstallAndUninstallThroughDllInstall) {
  ASSERT_EQ(UnregisterServer(CounterRegistration(), RegistrationScope::Machine), S_OK);
  RegKey key;
  EXPECT_EQ(key.Open(HKEY_CLASSES_ROOT, u"Sealrun.TestCounter"), ERROR_FILE_NOT_FOUND);

  void* module = dlopen(kServerPath, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr);
  const auto install = reinterpret_cast<DllInstallFunction>(dlsym(module, "DllInstall"));
  ASSERT_NE(install, nullptr);
  ASSERT_EQ(install(1, u"USER"), S_OK);
  EXPECT_EQ(key.Open(HKEY_CURRENT_USER, u"Software\\Classes\\CLSID\\" + FormatGuid(kCounterClsid) + u"\\InprocServer32"),
            ERROR_SUCCESS);
  EXPECT_EQ(key.QueryString(), platform::text::Utf8ToUtf16(std::filesystem::canonical(kServerPath).string()));
  EXPECT_EQ(key.Open(HKEY_LOCAL_MACHINE, u"Software\\Classes\\Sealrun.TestCounter"), ERROR_FILE_NOT_FOUND);
  {
    ComPtr<IDispatch> counter = CreateCounter();
    EXPECT_TRUE(counter) << "a per-user registration is seen through HKCR";
  }
  ASSERT_EQ(install(0, u"user"), S_OK);
  EXPECT_EQ(key.Open(HKEY_CLASSES_ROOT, u"CLSID\\" + FormatGuid(kCounterClsid)), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key.Open(HKEY_CLASSES_ROOT, u"Sealrun.TestCounter.1"), ERROR_FILE_NOT_FOUND);
  dlclose(module);
  CoFreeUnusedLibraries();
}

TEST_F(ComRuntimeTest, UnregisteringLeavesAnotherClassesProgId) {
  RegKey other;
  ASSERT_EQ(other.Create(HKEY_LOCAL_MACHINE, u"Software\\Classes\\Sealrun.TestCounter\\CLSID"), ERROR_SUCCESS);
  ASSERT_EQ(other.SetString({}, u"{00000000-0000-0000-0000-000000000001}"), ERROR_SUCCESS);
  ASSERT_EQ(UnregisterServer(CounterRegistration(), RegistrationScope::Machine), S_OK);
  RegKey key;
  EXPECT_EQ(key.Open(HKEY_CLASSES_ROOT, u"Sealrun.TestCounter"), ERROR_SUCCESS);
  EXPECT_EQ(key.Open(HKEY_CLASSES_ROOT, u"Sealrun.TestCounter.1"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(UnregisterServer(CounterRegistration(), RegistrationScope::User), S_OK) << "nothing to remove is fine";
}

TEST_F(ComRuntimeTest, TypeLibraryRegistrationWritesAndRemovesItsKeys) {
  TypeLibraryRegistration library;
  library.libid = *ParseGuid(u"{15C5E40C-7602-4625-9548-41B466CAD265}");
  library.name = u"SealrunPDFLib";
  library.path = u"/opt/sealrun/Velmarch.SealrunPDF.qpi";
  const IID dual = *ParseGuid(u"{9CF6D3F4-7838-47E9-9F05-1FE53C05A304}");
  library.interfaces = {{dual, u"ICSealrunPDF"}};
  ASSERT_EQ(RegisterTypeLibrary(library, RegistrationScope::User), S_OK);
  RegKey key;
  ASSERT_EQ(key.Open(HKEY_CLASSES_ROOT, u"TypeLib\\{15C5E40C-7602-4625-9548-41B466CAD265}\\1.0\\0\\win32"), ERROR_SUCCESS);
  EXPECT_EQ(key.QueryString(), library.path);
  ASSERT_EQ(key.Open(HKEY_CLASSES_ROOT, u"TypeLib\\{15C5E40C-7602-4625-9548-41B466CAD265}\\1.0\\HELPDIR"), ERROR_SUCCESS);
  EXPECT_EQ(key.QueryString(), u"/opt/sealrun");
  ASSERT_EQ(key.Open(HKEY_CLASSES_ROOT, u"Interface\\" + FormatGuid(dual) + u"\\TypeLib"), ERROR_SUCCESS);
  EXPECT_EQ(key.QueryString(), FormatGuid(library.libid));
  EXPECT_EQ(key.QueryString(u"Version"), u"1.0");
  ASSERT_EQ(key.Open(HKEY_CLASSES_ROOT, u"Interface\\" + FormatGuid(dual) + u"\\ProxyStubClsid32"), ERROR_SUCCESS);
  EXPECT_EQ(key.QueryString(), u"{00020424-0000-0000-C000-000000000046}");

  ASSERT_EQ(UnregisterTypeLibrary(library, RegistrationScope::User), S_OK);
  EXPECT_EQ(key.Open(HKEY_CLASSES_ROOT, u"TypeLib\\{15C5E40C-7602-4625-9548-41B466CAD265}"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key.Open(HKEY_CLASSES_ROOT, u"Interface\\" + FormatGuid(dual)), ERROR_FILE_NOT_FOUND);
}

TEST(ComInitializeTest, InitialisationIsCountedAndExtraUninitialiseIsHarmless) {
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
  CoUninitialize();
  CoUninitialize();
  CoUninitialize();
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  CoUninitialize();
}

}  // namespace
}  // namespace sealrun::platform::com
