#include "apps/sealrun/StopSignals.h"

#include <signal.h>

#include <array>

#include "platform/ui/QuitRequest.h"

namespace sealrun::apps {
namespace {

constexpr std::array kStopSignals = {SIGINT, SIGTERM, SIGHUP};
std::array<struct sigaction, kStopSignals.size()> previous{};

void AskToStop(int signal) { platform::ui::RequestQuit(signal); }

}  // namespace

StopOnSignals::StopOnSignals() {
  struct sigaction action {};
  action.sa_handler = AskToStop;
  sigemptyset(&action.sa_mask);
  // The first signal asks; the handler is then reset, so a second one ends the program.
  action.sa_flags = SA_RESETHAND | SA_RESTART;
  for (std::size_t i = 0; i < kStopSignals.size(); ++i) ::sigaction(kStopSignals[i], &action, &previous[i]);
}

StopOnSignals::~StopOnSignals() {
  for (std::size_t i = 0; i < kStopSignals.size(); ++i) ::sigaction(kStopSignals[i], &previous[i], nullptr);
}

int StopOnSignals::ExitCode(int code) {
  if (!platform::ui::QuitRequested()) return code;
  const int reason = platform::ui::QuitReason();
  return reason > 0 ? 128 + reason : code;
}

}  // namespace sealrun::apps
