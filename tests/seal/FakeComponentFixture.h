#pragma once
// Tests run against the stand-in components of tests/seal/fakekey: a temporary registry with both class
// ids registered to it, its configuration written by the test, the calls it received read back, and a
// headless window system that records message boxes.
#include <dlfcn.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "platform/com/ServerModule.h"
#include "platform/ui/Backend.h"
#include "platform/ui/HeadlessBackend.h"
#include "tests/testsupport/TempDir.h"

namespace sealrun::seal::testing {

class FakeComponentTest : public ::testing::Test {
 protected:
  FakeComponentTest()
      : registry_("SEALRUN_REGISTRY", (temp_.Path() / "registry").string()),
        fakeDir_("SEALRUN_FAKEKEY_DIR", temp_.Path().string()),
        backend_(std::make_unique<platform::ui::HeadlessBackend>()) {
    user_ = backend_.get();
    scopedBackend_ = std::make_unique<platform::ui::ScopedBackend>(std::move(backend_));
  }

  void SetUp() override {
    module_ = dlopen(SEALRUN_SEAL_FAKEKEY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module_, nullptr) << dlerror();
    const auto reg = reinterpret_cast<platform::com::DllRegisterServerFunction>(dlsym(module_, "DllRegisterServer"));
    ASSERT_NE(reg, nullptr);
    ASSERT_EQ(reg(), platform::com::S_OK);
  }
  void TearDown() override {
    if (module_ != nullptr) dlclose(module_);
  }

  void Configure(const std::string& lines) { sealrun::testing::WriteFileBytes(temp_.Path() / "config.txt", lines); }
  std::vector<std::string> Calls() const {
    std::vector<std::string> calls;
    std::ifstream in(temp_.Path() / "calls.log");
    for (std::string line; std::getline(in, line);) calls.push_back(line);
    return calls;
  }
  void ClearCalls() const { std::filesystem::remove(temp_.Path() / "calls.log"); }
  bool Called(const std::string& prefix) const {
    const auto calls = Calls();
    return std::any_of(calls.begin(), calls.end(), [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
  }
  const std::vector<platform::ui::MessageBoxRequest>& MessageBoxes() const { return user_->MessageBoxes(); }
  const sealrun::testing::TempDir& Temp() const { return temp_; }

 private:
  sealrun::testing::TempDir temp_;
  sealrun::testing::ScopedEnv registry_;
  sealrun::testing::ScopedEnv fakeDir_;
  std::unique_ptr<platform::ui::HeadlessBackend> backend_;
  platform::ui::HeadlessBackend* user_ = nullptr;
  std::unique_ptr<platform::ui::ScopedBackend> scopedBackend_;
  void* module_ = nullptr;
};

}  // namespace sealrun::seal::testing
