#pragma once
// The signing dialog against the real seal key and certificate library components reading a copy of the
// demo key (PIN 123456), a headless user, the PDF engine, and copies of corpus files to stamp.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <memory>
#include <string>
#include <vector>

#include "external/QpHandles.h"
#include "platform/com/ServerModule.h"
#include "platform/crypto/KeyStore.h"
#include "platform/fs/Paths.h"
#include "platform/ui/Backend.h"
#include "platform/ui/HeadlessBackend.h"
#include "signing/PlacementCorners.h"
#include "signing/SigModelDlg.h"
#include "tests/testsupport/TempDir.h"

namespace sealrun::signing::testing {

namespace fs = std::filesystem;
namespace ui = platform::ui;

inline constexpr char16_t kDemoPin[] = u"123456";
inline constexpr char16_t kDemoSeal[] = u"演示公章";

class SigModelDlgTest : public ::testing::Test {
 protected:
  SigModelDlgTest()
      : registry_("SEALRUN_REGISTRY", (temp_ / "registry").string()),
        config_("XDG_CONFIG_HOME", (temp_ / "config").string()),
        key_("SEALRUN_KEY", (temp_ / "key").string()),
        moduleDir_("SEALRUN_MODULE_DIR", (temp_ / "module").string()),
        tmp_("TMPDIR", (temp_ / "tmp").string()) {
    fs::create_directories(temp_ / "config");
    fs::create_directories(temp_ / "tmp");
    auto backend = std::make_unique<ui::HeadlessBackend>();
    user_ = backend.get();
    scoped_ = std::make_unique<ui::ScopedBackend>(std::move(backend));
  }

  void SetUp() override {
    fs::copy(SEALRUN_DEMO_KEY, temp_ / "key", fs::copy_options::recursive);
    platform::crypto::KeyStore::Instance().Clear();
    for (const char* path : {SEALRUN_SEALKEY_MODULE, SEALRUN_CERTLIB_MODULE}) {
      void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
      ASSERT_NE(module, nullptr) << dlerror();
      modules_.push_back(module);
      const auto install = reinterpret_cast<platform::com::DllInstallFunction>(dlsym(module, "DllInstall"));
      ASSERT_NE(install, nullptr);
      ASSERT_EQ(install(1, u"user"), platform::com::S_OK);
    }
    engine_ = external::StartEngine();
    ASSERT_TRUE(engine_);
  }

  void TearDown() override {
    engine_.reset();
    platform::crypto::KeyStore::Instance().Clear();
    for (void* module : modules_) dlclose(module);
  }

  // A pre-stamp 60 x 30 points, 30 points from the right and 40 from the bottom of an A4 page.
  static SealTemplate Record(std::u16string name) {
    SealTemplate record;
    record.pageWidth = 595;
    record.pageHeight = 842;
    record.left = 595 - 30 - 60;
    record.top = 842 - 40 - 30;
    record.right = record.left + 60;
    record.bottom = record.top + 30;
    record.name = std::move(name);
    ComputeCornerOffsets(record);
    return record;
  }

  SignDialogInputs Inputs(std::vector<std::u16string> files = {}) const {
    SignDialogInputs inputs;
    inputs.engine = engine_.get();
    inputs.files = std::move(files);
    inputs.templates = {Record(u"预盖位置1"), Record(u"预盖位置2")};
    inputs.signatureMode = config::SignatureMode(u"0");
    return inputs;
  }

  // Copies a corpus file into the temporary folder.
  fs::path Copy(const std::string& corpusName, const std::string& as) const {
    const fs::path source = sealrun::testing::CorpusFile(corpusName);
    const fs::path target = temp_ / as;
    fs::copy_file(source, target, fs::copy_options::overwrite_existing);
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
    return target;
  }

  // Opens the dialog; `play` acts as the user while it runs.
  int Open(CSigModelDlg& dialog, std::function<void(CSigModelDlg&)> play) {
    user_->OnDialog(kSigModelDialogId, [&play](ui::Dialog& running) { play(static_cast<CSigModelDlg&>(running)); });
    return dialog.DoModal(nullptr);
  }

  std::vector<std::u16string> Messages() const {
    std::vector<std::u16string> texts;
    for (const auto& box : user_->MessageBoxes()) texts.push_back(box.text);
    return texts;
  }

  template <typename T>
  static T& Get(CSigModelDlg& dialog, int id) {
    T* control = dialog.ChildAs<T>(id);
    if (control == nullptr) throw std::runtime_error("no control " + std::to_string(id));
    return *control;
  }

  sealrun::testing::TempDir temp_;
  ui::HeadlessBackend* user_ = nullptr;
  external::EngineHandle engine_;

 private:
  sealrun::testing::ScopedEnv registry_;
  sealrun::testing::ScopedEnv config_;
  sealrun::testing::ScopedEnv key_;
  sealrun::testing::ScopedEnv moduleDir_;
  sealrun::testing::ScopedEnv tmp_;
  std::unique_ptr<ui::ScopedBackend> scoped_;
  std::vector<void*> modules_;
};

}  // namespace sealrun::signing::testing
