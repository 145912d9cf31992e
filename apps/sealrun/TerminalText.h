#pragma once
// Text that comes from files and records (file names, seal records, pre-stamp names, seal names), made
// harmless before it is printed. A forged record could otherwise carry escape sequences that repaint the
// terminal ("INVALID" overwritten by "valid"), line ends that fake further lines, or bidirectional controls
// that show its characters in another order. Every such character is printed as a visible escape instead:
// bytes and C0 controls (tab and line ends too), DEL and bytes that are not UTF-8 as \xHH, C1 controls,
// bidirectional controls and the line and paragraph separators as \uHHHH. Everything else, Chinese text
// included, is printed as it is.
#include <string>
#include <string_view>

namespace sealrun::apps {

// One line of output: nothing in it can end the line or steer the terminal.
std::string TerminalSafe(std::string_view utf8);
std::string TerminalSafe(std::u16string_view text);
// A text of several lines (a message box): line ends ("\n", "\r\n") stay, everything else as above.
std::u16string TerminalSafeLines(std::u16string_view text);

// A JSON string literal, quotes included: quote, backslash and the same characters as above as \u escapes
// (a byte that is not UTF-8 becomes U+FFFD, so the output stays UTF-8), so a program that shows the
// values it reads is as safe as the terminal.
std::string JsonString(std::string_view utf8);

}  // namespace sealrun::apps
