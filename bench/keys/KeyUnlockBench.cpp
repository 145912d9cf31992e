// One unlock of the demo key, the cost every signing run pays once (the certificate library keeps an
// unlocked key for a minute, so a batch pays it once too):
//  - ImportDemoPkcs12: the signer's PKCS#12 opened with the PIN, as the key store imports it;
//  - VerifyPinThroughKeyObject: the seal key component's VerifyPin called by name with the right PIN: the
//    PIN verifier of key.xml, the try counter and the import together.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "bench/support/TempFolder.h"
#include "platform/com/ComRuntime.h"
#include "platform/com/InvokeByName.h"
#include "platform/com/ServerModule.h"
#include "platform/com/Variant.h"
#include "platform/crypto/KeyStore.h"

namespace {

namespace fs = std::filesystem;
namespace com = sealrun::platform::com;

const fs::path kDemoKey = SEALRUN_BENCH_DEMO_KEY;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void ImportDemoPkcs12(benchmark::State& state) {
  const std::string pkcs12 = ReadAll(kDemoKey / "signer.p12");
  auto& store = sealrun::platform::crypto::KeyStore::Instance();
  for (auto _ : state) {
    const auto imported = store.ImportPkcs12(sealrun::platform::crypto::AsBytes(pkcs12), "123456");
    if (!imported.Ok()) {
      state.SkipWithError("the demo key's PKCS#12 does not open with its PIN");
      break;
    }
    store.Clear();
  }
}
BENCHMARK(ImportDemoPkcs12)->Unit(benchmark::kMillisecond);

struct ModuleClose {
  void operator()(void* module) const { dlclose(module); }
};

void VerifyPinThroughKeyObject(benchmark::State& state) {
#if defined(SEALRUN_BENCH_SEALKEY_MODULE)
  sealrun::bench::TempFolder folder("sealrun-bench-keys");
  std::error_code error;
  fs::copy(kDemoKey, folder / "key", fs::copy_options::recursive, error);
  if (folder.Path().empty() || error) {
    state.SkipWithError("the demo key could not be copied");
    return;
  }
  setenv("SEALRUN_REGISTRY", (folder / "registry").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
  setenv("SEALRUN_KEY", (folder / "key").c_str(), 1);
  const std::unique_ptr<void, ModuleClose> module(dlopen(SEALRUN_BENCH_SEALKEY_MODULE, RTLD_NOW | RTLD_LOCAL));
  const auto install =
      module ? reinterpret_cast<com::DllInstallFunction>(dlsym(module.get(), "DllInstall")) : nullptr;
  if (install == nullptr || install(1, u"user") != com::S_OK) {
    state.SkipWithError("the seal key module does not register");
    return;
  }
  com::CLSID clsid{};
  com::ComPtr<com::IDispatch> key;
  if (com::FAILED(com::CLSIDFromProgID(u"Sealrun.KeyObject", &clsid)) ||
      com::FAILED(com::CoCreateInstance(clsid, nullptr, com::CLSCTX_ALL, com::IID_IDispatch, key.OutVoid()))) {
    state.SkipWithError("no KeyObject");
    return;
  }
  for (auto _ : state) {
    com::Variant answer;
    if (com::FAILED(com::InvokeByName(key.Get(), u"VerifyPin", com::DISPATCH_METHOD, {com::Variant(u"123456")},
                                      answer.Out())) ||
        answer.AsInt().value_or(-1) != 0) {
      state.SkipWithError("the demo key refuses its PIN");
      break;
    }
    sealrun::platform::crypto::KeyStore::Instance().Clear();
  }
  key.Reset();
#else
  state.SkipWithError("the seal key module is not built");
#endif
}
BENCHMARK(VerifyPinThroughKeyObject)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
