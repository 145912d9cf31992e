#pragma once
// Ctrl+C, SIGTERM and a closed terminal ask a run to stop between files instead of killing it in the middle of
// one: the file in hand is finished or left as it was, and the run prints its summary. A second signal ends the
// program at once (files stay whole then too: a file is only ever replaced by a complete, checked copy).
namespace sealrun::apps {

class StopOnSignals {
 public:
  StopOnSignals();
  ~StopOnSignals();
  StopOnSignals(const StopOnSignals&) = delete;
  StopOnSignals& operator=(const StopOnSignals&) = delete;

  // The exit code for a run that was stopped (128 + the signal, as shells report it), or `code` unchanged.
  static int ExitCode(int code);
};

}  // namespace sealrun::apps
