#include "apps/sealrun/StopSignals.h"

#include <signal.h>
#include <unistd.h>

#include <array>

#include "platform/ui/QuitRequest.h"

namespace sealrun::apps {
namespace {

constexpr std::array kStopSignals = {SIGINT, SIGTERM, SIGHUP};
std::array<struct sigaction, kStopSignals.size()> previous{};

// A file takes well under this; one that does not (a hostile file, a hung server) is abandoned with the
// program, and it stays as it was: only a complete, checked copy ever replaces a file.
constexpr unsigned kGraceSeconds = 15;

void AskToStop(int signal) {
  platform::ui::RequestQuit(signal);
  ::alarm(kGraceSeconds);  // SIGALRM's default action ends the program
}

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
