#pragma once
// A request to end the program, as the window system delivers it (the terminal's Ctrl+C, the system asking the
// program to stop, the session ending). Long runs look at it between files, as they pump their one message per
// file: the file in hand is finished (or, when it was not yet replaced, left as it was) and the run stops with
// the summary of what it did.
namespace sealrun::platform::ui {

// Safe to call from a signal handler.
void RequestQuit(int reason) noexcept;
bool QuitRequested() noexcept;
// The reason given (a signal number for a signal), 0 when none.
int QuitReason() noexcept;
void ClearQuitRequest() noexcept;

}  // namespace sealrun::platform::ui
