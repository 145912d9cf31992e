#pragma once
// A host reader with the add-in module loaded, in a private world: temporary registry (the module
// registered for the current user), settings folder, host settings listing the add-in, and a headless
// user. Template PDFs are copied from the corpus so they can be changed and saved.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "addin/AddinIds.h"
#include "addin/AddinState.h"
#include "external/HostViewer.h"
#include "platform/com/Bstr.h"
#include "platform/com/ServerModule.h"
#include "platform/fs/Paths.h"
#include "platform/host/HostDriver.h"
#include "platform/host/HostSettings.h"
#include "platform/ui/HeadlessBackend.h"
#include "tests/testsupport/TempDir.h"

namespace sealrun::addin::testing {

namespace com = platform::com;
namespace host = platform::host;
namespace ui = platform::ui;

inline std::u16string U16(const std::filesystem::path& path) { return platform::fs::PathToUtf16(path); }

// Calls the module's DllInstall; the module stays loaded by the process's component runtime anyway.
inline com::HRESULT InstallModule(bool install, const char16_t* commandLine) {
  void* library = dlopen(SEALRUN_ADDIN_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return com::E_FAIL;
  const auto entry = reinterpret_cast<com::DllInstallFunction>(dlsym(library, "DllInstall"));
  const com::HRESULT hr = entry ? entry(install ? 1 : 0, commandLine) : com::E_FAIL;
  dlclose(library);
  return hr;
}

// The private world without a running host.
class AddinWorld : public ::testing::Test {
 protected:
  AddinWorld()
      : config_("XDG_CONFIG_HOME", (temp_ / "config").string()),
        registry_("SEALRUN_REGISTRY", (temp_ / "registry").string()),
        hostSettings_("SEALRUN_HOST_SETTINGS", (temp_ / "host.conf").string()),
        systemDir_("SEALRUN_SYSTEM_DIR", (temp_ / "system").string()),
        tmp_("TMPDIR", (temp_ / "tmp").string()),
        codePage_("SEALRUN_ANSI_CODEPAGE", "936"),
        moduleDir_("SEALRUN_MODULE_DIR", (temp_ / "module").string()) {
    std::filesystem::create_directories(temp_ / "config");
    std::filesystem::create_directories(temp_ / "tmp");
    std::filesystem::create_directories(temp_ / "module" / "Velmarch.SealrunPDF");
    auto backend = std::make_unique<ui::HeadlessBackend>();
    backend_ = backend.get();
    scopedBackend_ = std::make_unique<ui::ScopedBackend>(std::move(backend));
  }

  // A corpus PDF copied into the temporary folder.
  std::filesystem::path Template(const std::string& corpusName, const std::string& as = "template.pdf") {
    const auto source = sealrun::testing::CorpusFile(corpusName);
    const auto target = temp_ / as;
    std::filesystem::copy_file(source, target, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(target, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    return target;
  }

  sealrun::testing::TempDir temp_;
  sealrun::testing::ScopedEnv config_;
  sealrun::testing::ScopedEnv registry_;
  sealrun::testing::ScopedEnv hostSettings_;
  sealrun::testing::ScopedEnv systemDir_;
  sealrun::testing::ScopedEnv tmp_;
  sealrun::testing::ScopedEnv codePage_;
  sealrun::testing::ScopedEnv moduleDir_;
  ui::HeadlessBackend* backend_ = nullptr;  // owned by scopedBackend_
  std::unique_ptr<ui::ScopedBackend> scopedBackend_;
};

// The world with the module registered for the user and the host running with the add-in connected.
class HostedAddin : public AddinWorld {
 protected:
  void SetUp() override {
    ASSERT_EQ(InstallModule(true, u"user"), com::S_OK);
    host::HostSettings settings;
    settings.addIns = {kSealrunPdfIndependentProgId};
    ASSERT_TRUE(host::WriteHostSettings(temp_ / "host.conf", settings));
    ASSERT_EQ(driver_.Start(), com::S_OK);
    ASSERT_EQ(driver_.Host().AddIns().size(), 1u);
    ASSERT_EQ(driver_.Host().AddIns()[0].result, com::S_OK);
  }
  void TearDown() override {
    driver_.Shutdown();
    State().host.Reset();
  }

  com::ComPtr<external::IHostApplication> Application() {
    com::ComPtr<external::IHostApplication> application;
    driver_.Host().Application()->QueryInterface(external::IID_IHostApplication, application.OutVoid());
    return application;
  }

  // The add-in object as an automation client sees it.
  com::ComPtr<com::IDispatch> AddinDispatch() {
    com::ComPtr<com::IDispatch> dispatch;
    driver_.Host().AddIns()[0].addIn->QueryInterface(com::IID_IDispatch, dispatch.OutVoid());
    return dispatch;
  }

  // Lends the host to this program's copy of the add-in code (read-back of pre-stamps).
  void LendHost() { Application()->QueryInterface(com::IID_IDispatch, State().host.OutVoid()); }

  std::vector<std::u16string> MessageTexts() const {
    std::vector<std::u16string> texts;
    for (const auto& box : backend_->MessageBoxes()) texts.push_back(box.text);
    return texts;
  }

  host::HostDriver driver_;
};

}  // namespace sealrun::addin::testing
