// The add-in's code throwing inside a call from the host (here the user's desktop failing in a dialog): the
// host's event gets a failure back, the pane's button press returns normally, nothing unwinds into the host,
// and both work again once the desktop does.
#include <exception>
#include <new>
#include <stdexcept>

#include "platform/host/ApplicationObject.h"
#include "platform/host/CommandBarObjects.h"
#include "tests/addin/HostFixture.h"
#include "workbench/BatchPaneWindow.h"

namespace sealrun::addin::testing {
namespace {

// A desktop whose open-file dialog and message boxes throw `error`.
class ThrowingBackend final : public ui::HeadlessBackend {
 public:
  explicit ThrowingBackend(std::exception_ptr error) : error_(std::move(error)) {}
  std::optional<ui::OpenFileAnswer> ShowOpenFileDialog(const ui::OpenFileRequest&) override {
    std::rethrow_exception(error_);
  }
  int ShowMessageBox(const ui::MessageBoxRequest&) override { std::rethrow_exception(error_); }

 private:
  std::exception_ptr error_;
};

template <typename Error>
std::unique_ptr<ui::ScopedBackend> FailingDesktop(Error error) {
  return std::make_unique<ui::ScopedBackend>(std::make_unique<ThrowingBackend>(std::make_exception_ptr(error)));
}

com::LONG PopupItemId(host::HostDriver& driver, std::u16string_view caption) {
  for (const auto& bar : driver.Host().State().commandBars) {
    if (!bar->IsPopup()) continue;
    for (const auto& control : bar->Controls())
      if (control->Caption() == caption) return control->Id();
  }
  return 0;
}

using ThrowingHandler = HostedAddin;

TEST_F(ThrowingHandler, ACommandThatThrowsAnswersTheHostsEventWithAFailure) {
  // Choosing the seal picture opens the open-file dialog from inside the host's command event.
  const com::LONG chooseImage = PopupItemId(driver_, u"自选印章");
  ASSERT_NE(chooseImage, 0);
  const auto& application = driver_.Host().Application();
  {
    const auto failing = FailingDesktop(std::bad_alloc());
    EXPECT_EQ(application->FireCommand(chooseImage), com::E_OUTOFMEMORY);
  }
  {
    const auto failing = FailingDesktop(std::runtime_error("no desktop"));
    EXPECT_EQ(application->FireCommand(chooseImage), com::E_UNEXPECTED);
  }

  backend_->QueueOpenFileAnswer(std::nullopt);
  EXPECT_EQ(application->FireCommand(chooseImage), com::S_OK);
  EXPECT_EQ(backend_->OpenFileRequests().size(), 1u) << "the same command works with a working desktop";
  const auto pane = driver_.Host().Pane(u"Sealrun");
  ASSERT_TRUE(pane);
  const bool wasVisible = pane->IsVisible();
  ASSERT_TRUE(driver_.ClickControl(u"签章验证"));
  EXPECT_NE(pane->IsVisible(), wasVisible) << "and so do the other commands";
}

TEST_F(ThrowingHandler, APaneButtonThatThrowsReturnsToTheHostsMessageLoop) {
  // Running with no files in the list shows a message box from inside the pane's button.
  {
    const auto failing = FailingDesktop(std::runtime_error("no desktop"));
    bool pressed = false;
    EXPECT_NO_THROW(pressed = driver_.PressPaneButton(u"Sealrun", workbench::kRunCommand));
    EXPECT_TRUE(pressed);
  }
  {
    const auto failing = FailingDesktop(std::bad_alloc());
    EXPECT_NO_THROW(driver_.PressPaneButton(u"Sealrun", workbench::kRunCommand));
  }
  EXPECT_TRUE(MessageTexts().empty());
  ASSERT_TRUE(driver_.PressPaneButton(u"Sealrun", workbench::kRunCommand));
  EXPECT_EQ(MessageTexts(), std::vector<std::u16string>{workbench::kNoFilesMessage});
}

}  // namespace
}  // namespace sealrun::addin::testing
