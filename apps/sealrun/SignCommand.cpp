// sealrun sign: a batch signing run as the user makes it: the template opened in the reader (or the
// keyword handed to the add-in through its automation properties), the files added to the pane, the run
// button pressed and the signing dialog filled in.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "addin/AddinIds.h"
#include "apps/sealrun/Commands.h"
#include "apps/common/Components.h"
#include "apps/sealrun/InputFiles.h"
#include "apps/sealrun/PaneFiles.h"
#include "apps/sealrun/PinInput.h"
#include "apps/common/Session.h"
#include "apps/sealrun/TerminalText.h"
#include "platform/com/InvokeByName.h"
#include "platform/com/Variant.h"
#include "platform/fs/Files.h"
#include "platform/fs/Paths.h"
#include "platform/text/Utf.h"
#include "platform/ui/Controls.h"
#include "platform/ui/HeadlessBackend.h"
#include "platform/ui/ListView.h"
#include "platform/ui/WritingWindow.h"
#include "signing/SigModelDlg.h"
#include "workbench/BatchPaneWindow.h"
#include "workbench/ResultLog.h"

namespace sealrun::apps {

namespace com = platform::com;
namespace ui = platform::ui;
namespace fs = std::filesystem;

namespace {

struct SignOptions {
  std::optional<fs::path> templatePath;
  std::optional<std::string> entry;
  std::optional<std::string> keyword;
  int page = 0;  // 0: every page, searched from the last
  bool havePage = false;
  std::string seal;
  PinOption pinOption{"pin"};
  PinText pin;  // empty when only the handwriting window's PIN is given
  bool addDate = false;
  bool rememberPin = false;
  // A handwritten signature instead of the seal's picture: what is written in the writing window, and
  // the PIN typed there.
  std::optional<fs::path> handwriting;
  PinOption handwritingPinOption{"handwriting-pin"};
  std::optional<PinText> handwritingPin;
  std::vector<uint8_t> handwritingPicture;
  std::vector<fs::path> files;
};

std::u16string Wide(const std::string& text) { return platform::text::Utf8ToUtf16(text); }
std::string Narrow(const std::u16string& text) { return platform::text::Utf16ToUtf8(text); }

bool ParsePage(const std::string& text, int& page) {
  if (text.empty()) return false;
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (end != text.c_str() + text.size() || value < -1000000 || value > 1000000) return false;
  page = static_cast<int>(value);
  return true;
}

std::optional<SignOptions> ParseSign(const std::vector<std::string>& arguments, std::string& problem) {
  SignOptions options;
  bool haveSeal = false;
  bool filesOnly = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const bool hasValue = i + 1 < arguments.size();
    if (filesOnly || !argument.starts_with("--")) {
      options.files.emplace_back(argument);
    } else if (argument == "--") {
      filesOnly = true;
    } else if (argument == "--template" && hasValue) {
      options.templatePath = arguments[++i];
    } else if (argument == "--entry" && hasValue) {
      options.entry = arguments[++i];
    } else if (argument == "--keyword" && hasValue) {
      options.keyword = arguments[++i];
    } else if (argument == "--page" && hasValue) {
      if (!ParsePage(arguments[++i], options.page)) {
        problem = "--page wants a whole page number (0: every page, from the last)";
        return std::nullopt;
      }
      options.havePage = true;
    } else if (argument == "--seal" && hasValue) {
      options.seal = arguments[++i];
      haveSeal = true;
    } else if (options.pinOption.Take(arguments, i, problem) ||
               options.handwritingPinOption.Take(arguments, i, problem)) {
      if (!problem.empty()) return std::nullopt;
    } else if (argument == "--date") {
      options.addDate = true;
    } else if (argument == "--remember-pin") {
      options.rememberPin = true;
    } else if (argument == "--handwriting" && hasValue) {
      options.handwriting = arguments[++i];
    } else {
      problem = "unexpected argument " + argument;
      return std::nullopt;
    }
  }
  if (options.templatePath.has_value() == options.keyword.has_value()) {
    problem = "sign wants either --template TEMPLATE.pdf or --keyword TEXT";
  } else if (options.entry && !options.templatePath) {
    problem = "--entry goes with --template";
  } else if (options.havePage && !options.keyword) {
    problem = "--page goes with --keyword";
  } else if (options.keyword && options.keyword->empty()) {
    problem = "--keyword wants a text";
  } else if (options.handwritingPinOption.Given() && !options.handwriting) {
    problem = "--handwriting-pin goes with --handwriting";
  } else if (options.pinOption.FromStandardInput() && options.handwritingPinOption.FromStandardInput()) {
    problem = "standard input gives one PIN: name the other with a file";
  } else if (!haveSeal) {
    problem = "sign wants --seal NAME";
  } else if (options.files.empty()) {
    problem = "sign wants at least one PDF file";
  }
  if (!problem.empty()) return std::nullopt;
  return options;
}

// The key's PIN, and with a handwritten signature the PIN typed in the handwriting window, which may
// stand alone: without either option, that one is asked for.
std::optional<Refusal> ReadPins(SignOptions& options) {
  const auto take = [](const PinOption& option, std::string_view prompt, PinText& pin) -> std::optional<Refusal> {
    auto read = option.Read(prompt);
    if (auto* refusal = std::get_if<Refusal>(&read)) return *refusal;
    pin = std::move(std::get<PinText>(read));
    return std::nullopt;
  };
  if (options.handwriting && (options.handwritingPinOption.Given() || !options.pinOption.Given())) {
    if (auto refusal = take(options.handwritingPinOption, "PIN of the seal key, for the handwriting window: ",
                            options.handwritingPin.emplace()))
      return refusal;
    if (!options.pinOption.Given()) return std::nullopt;
  }
  return take(options.pinOption, "PIN of the seal key: ", options.pin);
}

// The seal key's components the signing run calls.
std::optional<Refusal> EnsureKeyComponentsRegistered() {
  if (auto refusal = EnsureComponentRegistered(kKeyObjectProgId)) return refusal;
  return EnsureComponentRegistered(kCertLibraryProgId);
}

com::ComPtr<com::IDispatch> AddinDispatch(platform::host::HostDriver& driver) {
  com::ComPtr<com::IDispatch> dispatch;
  for (const auto& loaded : driver.Host().AddIns()) {
    if (loaded.progId != addin::kSealrunPdfIndependentProgId && loaded.progId != addin::kSealrunPdfProgId) continue;
    if (loaded.addIn) loaded.addIn->QueryInterface(com::IID_IDispatch, dispatch.OutVoid());
  }
  return dispatch;
}

// Sets the keyword placement through the add-in's automation properties, as a script of the reader would.
bool PresetKeyword(platform::host::HostDriver& driver, const std::string& keyword, int page) {
  const auto dispatch = AddinDispatch(driver);
  if (!dispatch) return false;
  return com::SUCCEEDED(
             com::InvokeByName(dispatch.Get(), u"SigText", com::DISPATCH_PROPERTYPUT, {com::Variant(Wide(keyword))}, nullptr)) &&
         com::SUCCEEDED(com::InvokeByName(dispatch.Get(), u"SigPage", com::DISPATCH_PROPERTYPUT, {com::Variant(page)}, nullptr));
}

template <typename T>
T* Control(ui::Dialog& dialog, int id) {
  return dialog.ChildAs<T>(id);
}

void SetChecked(ui::Dialog& dialog, int id, bool wanted) {
  if (auto* box = Control<ui::CheckBox>(dialog, id); box && box->IsChecked() != wanted) box->Click();
}

std::string ListedNames(const ui::ComboBox& list) {
  std::string names;
  for (int i = 0; i < list.Count(); ++i) names += (i ? ", " : "") + Narrow(list.ItemText(i));
  return names.empty() ? "none" : names;
}

// What the user does in the signing dialog. A choice the dialog does not offer is refused: the user
// presses Cancel and is told why.
struct DialogPlay {
  const SignOptions& options;
  std::string problem;
  std::optional<int> ended;

  void operator()(ui::Dialog& dialog) {
    Play(dialog);
    if (!dialog.Result()) {
      if (auto* cancel = Control<ui::Button>(dialog, ui::kIdCancel)) cancel->Click();
    }
    ended = dialog.Result();
  }

  void Play(ui::Dialog& dialog) {
    auto* seals = Control<ui::ComboBox>(dialog, signing::kSealList);
    const int seal = seals ? seals->FindStringExact(Wide(options.seal)) : -1;
    if (seal < 0) {
      problem = "the key has no seal named \"" + options.seal + "\" (its seals: " + (seals ? ListedNames(*seals) : "none") + ")";
      return;
    }
    if (seals->CurrentSelection() != seal) seals->Choose(seal);
    if (options.templatePath) {
      if (auto* mode = Control<ui::RadioButton>(dialog, signing::kTemplateMode); mode && !mode->IsChecked()) mode->Click();
      auto* templates = Control<ui::ComboBox>(dialog, signing::kTemplateList);
      if (options.entry) {
        const int entry = templates ? templates->FindStringExact(Wide(*options.entry)) : -1;
        if (entry < 0) {
          problem = "the template has no pre-stamp named \"" + *options.entry + "\" (its pre-stamps: " +
                    (templates ? ListedNames(*templates) : "none") + ")";
          return;
        }
        templates->Choose(entry);
      }
    } else if (auto* mode = Control<ui::RadioButton>(dialog, signing::kKeywordMode); mode && !mode->IsChecked()) {
      mode->Click();
    }
    SetChecked(dialog, signing::kAddDateBox, options.addDate);
    SetChecked(dialog, signing::kRememberPinBox, options.rememberPin);
    if (options.handwriting && !WriteByHand(dialog)) return;
    // The writing window's PIN fills the PIN field; a --pin given as well is typed after it.
    if (!options.handwriting || !options.pin.Utf8().empty())
      if (auto* pin = Control<ui::Edit>(dialog, signing::kPinEdit)) pin->Type(Wide(options.pin.Utf8()));
    if (auto* ok = Control<ui::Button>(dialog, ui::kIdOk)) ok->Click();
  }

  // Presses "手写签名" and writes the picture in the component's window. A signature that was not taken
  // (the picture does not decode, no component) refuses the run rather than stamping the seal instead.
  bool WriteByHand(ui::Dialog& dialog) {
    auto& user = dynamic_cast<ui::HeadlessBackend&>(ui::CurrentBackend());
    const std::u16string pin = options.handwritingPin ? Wide(options.handwritingPin->Utf8()) : std::u16string();
    ui::ScriptWritingWindow(user, {options.handwritingPicture, pin, {}});
    auto* button = Control<ui::Button>(dialog, signing::kHandwritingButton);
    auto* signDialog = dynamic_cast<signing::CSigModelDlg*>(&dialog);
    if (button == nullptr || signDialog == nullptr || !button->Click() || !signDialog->Images().handwritten) {
      problem = "the handwritten signature " + options.handwriting->string() + " was not taken";
      return false;
    }
    return true;
  }
};

}  // namespace

const char* SignHelp() {
  return "usage: sealrun sign (--template TEMPLATE.pdf [--entry NAME] | --keyword TEXT [--page N])\n"
         "                   --seal NAME [--pin-file FILE | --pin - | --pin PIN] [--date] [--remember-pin]\n"
         "                   [--handwriting PICTURE [--handwriting-pin-file FILE | --handwriting-pin - |\n"
         "                                           --handwriting-pin PIN]] FILE...\n"
         "\n"
         "Seals every FILE in place, as the user does in the reader: the files are added to the pane, the run\n"
         "button is pressed and the signing dialog is filled in and confirmed.\n"
         "\n"
         "  --template TEMPLATE.pdf  open this pre-stamped template; the seal goes where its pre-stamp stands,\n"
         "                           keeping the distance to the nearest page corner\n"
         "  --entry NAME             the pre-stamp to use (default: the first one)\n"
         "  --keyword TEXT           centre the seal on TEXT instead (no template needed)\n"
         "  --page N                 search page N only (from 1); 0, the default, searches every page from the last\n"
         "  --seal NAME              the seal of the key to stamp\n"
         "  --pin-file FILE          the key's PIN: the first line of FILE (keep it readable by you alone)\n"
         "  --pin -                  the key's PIN: the first line of standard input\n"
         "  --pin PIN                the key's PIN itself. Other users of the machine can read a command line\n"
         "                           while it runs (ps): scripts should use --pin-file or --pin -.\n"
         "                           With none of the three, the PIN is asked for on the terminal, unseen.\n"
         "  --date                   write today's date under the seal\n"
         "  --remember-pin           keep the PIN in the key for the next time (otherwise it is forgotten)\n"
         "  --handwriting PICTURE    sign by hand: PICTURE (PNG, JPEG, GIF or BMP) is what is written in the\n"
         "                           handwriting window; it is stamped instead of the seal's picture\n"
         "  --handwriting-pin-file FILE, --handwriting-pin -, --handwriting-pin PIN\n"
         "                           the PIN typed in the handwriting window, read in the same ways; then the\n"
         "                           key's PIN may be left out (with neither, it is asked for)\n"
         "\n"
         "Progress goes to standard error; the add-in's messages and the run's summary to standard output,\n"
         "followed by a \"not sealed:\" line for each file that failed.\n"
         "Exit codes: 0 every file sealed, 1 some files failed, 2 the run was refused (wrong PIN, no such seal,\n"
         "no template or pre-stamp, no certificate, ...).\n"
         "\n"
         "examples:\n"
         "  sealrun prestamp contract.pdf --page 1 --at 420,700\n"
         "  sealrun sign --template contract.pdf --seal 演示公章 --date batch/*.pdf      (asks for the PIN)\n"
         "  sealrun sign --keyword 盖章处 --page 0 --seal 演示公章 --pin-file ~/.key-pin invoices/*.pdf\n"
         "  pass show seal-key | sealrun sign --keyword 盖章处 --seal 演示公章 --pin - invoices/*.pdf\n";
}

int RunSign(const std::vector<std::string>& arguments) {
  std::string problem;
  auto options = ParseSign(arguments, problem);
  if (!options) return Refuse(problem + " (see sealrun sign --help)");
  auto files = ExpandInputFiles(options->files);
  if (auto* reason = std::get_if<std::string>(&files)) return Refuse(*reason);
  options->files = std::get<std::vector<fs::path>>(std::move(files));
  if (options->handwriting) {
    const auto picture = platform::fs::ReadFile(*options->handwriting);
    if (!picture || picture->empty()) return Refuse("the picture " + options->handwriting->string() + " cannot be read");
    options->handwritingPicture.assign(picture->begin(), picture->end());
    if (auto refusal = EnsureComponentRegistered(kHandwritingProgId)) return Refuse(refusal->message);
  }
  if (auto refusal = ReadPins(*options)) return Refuse(refusal->message);

  if (auto refusal = EnsureKeyComponentsRegistered()) return Refuse(refusal->message);
  Session session;
  if (auto refusal = session.Start()) return Refuse(refusal->message);
  platform::host::HostDriver& driver = session.Driver();
  if (options->templatePath) {
    if (auto failure = OpenTemplate(driver, *options->templatePath)) return Refuse(*failure);
  } else if (!PresetKeyword(driver, *options->keyword, options->page)) {
    return Refuse("the add-in did not take the keyword");
  }

  auto& user = dynamic_cast<ui::HeadlessBackend&>(ui::CurrentBackend());
  if (!driver.ShowPane(kPaneName) || PaneList(driver) == nullptr) return Refuse("the add-in's pane did not open");
  if (!AddFilesToPane(driver, user, options->files)) return Refuse("the files could not be added to the pane");

  DialogPlay play{*options, {}, std::nullopt};
  user.OnDialog(signing::kSigModelDialogId, std::ref(play));
  if (!driver.PressPaneButton(kPaneName, workbench::kRunCommand)) return Refuse("the pane's run button is not available");
  user.OnDialog(signing::kSigModelDialogId, nullptr);
  if (!play.problem.empty()) return Refuse(play.problem);
  // Refusals (no template, no seal, wrong PIN, ...) were shown by the add-in itself.
  if (play.ended != ui::kIdOk) return kExitRefused;

  const ui::ListView* list = PaneList(driver);
  int failed = 0;
  for (int row = 0; list != nullptr && row < list->RowCount(); ++row) {
    if (list->ItemState(row, ui::kLvisDropHilited) == 0) continue;
    ++failed;
    std::printf("not sealed: %s\n", TerminalSafe(list->ItemText(row, workbench::kPathColumn)).c_str());
  }
  std::fflush(stdout);
  return failed == 0 ? kExitDone : kExitSomeFailed;
}

}  // namespace sealrun::apps
