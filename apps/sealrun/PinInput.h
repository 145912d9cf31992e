#pragma once
// Where the front end takes a PIN from. On the command line a PIN can be read by every user of the machine
// (ps, /proc), so besides --pin PIN (kept for scripts) it is read from a file (--pin-file FILE: its first
// line), from standard input (--pin -), or typed at a prompt that does not echo it when no option names it
// and standard input is a terminal. No PIN and no terminal to ask on is a refusal, as are an empty PIN and
// a PIN file that cannot be read.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "apps/common/Session.h"

namespace sealrun::apps {

// A PIN held by the front end: its bytes are cleared when it goes.
class PinText {
 public:
  PinText() = default;
  explicit PinText(std::string text) : text_(std::move(text)) {}
  ~PinText();
  PinText(PinText&& other) noexcept;
  PinText& operator=(PinText&& other) noexcept;
  PinText(const PinText&) = delete;
  PinText& operator=(const PinText&) = delete;

  const std::string& Utf8() const { return text_; }

 private:
  std::string text_;
};

// The options naming one PIN: "--pin" and "--pin-file" for the key's PIN, "--handwriting-pin" and
// "--handwriting-pin-file" for the one typed in the handwriting window.
class PinOption {
 public:
  // `noun` names the secret in refusals ("PIN", "unlock code").
  explicit PinOption(std::string name, std::string noun = "PIN") : name_(std::move(name)), noun_(std::move(noun)) {}

  // Takes arguments[i] (and its value) when it is one of this PIN's options; `problem` says what is
  // wrong with it (no value, the PIN named twice).
  bool Take(const std::vector<std::string>& arguments, size_t& i, std::string& problem);
  bool Given() const { return value_.has_value() || file_.has_value(); }
  bool FromStandardInput() const { return value_ == "-"; }
  const std::string& Name() const { return name_; }

  // The PIN this option names; with no option given, the one typed at a prompt of `prompt` on the
  // terminal. A refusal says why there is none.
  std::variant<PinText, Refusal> Read(std::string_view prompt) const;

 private:
  std::string name_;
  std::string noun_;
  std::optional<std::string> value_;
  std::optional<std::filesystem::path> file_;
};

}  // namespace sealrun::apps
