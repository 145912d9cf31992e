// sealrun verify, remove and inspect. verify and remove play the user of the reader: the pane is switched
// to its verify or remove mode from the add-in's command bar, the files are added to it and the run
// button is pressed; the dialog of the run is answered as the user would. inspect reads the files
// directly with the verification code and changes nothing.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "apps/sealrun/Commands.h"
#include "apps/common/Components.h"
#include "apps/sealrun/InputFiles.h"
#include "apps/sealrun/PaneFiles.h"
#include "apps/sealrun/PinInput.h"
#include "apps/sealrun/SafeTerminalBackend.h"
#include "apps/common/SealReport.h"
#include "apps/common/Session.h"
#include "apps/sealrun/TerminalText.h"
#include "external/QpHandles.h"
#include "platform/fs/Files.h"
#include "platform/fs/Paths.h"
#include "platform/text/Utf.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/HeadlessBackend.h"
#include "platform/ui/ListView.h"
#include "platform/ui/TerminalBackend.h"
#include "verify/CBatchVerify.h"
#include "verify/CCBatchDel.h"
#include "verify/DocumentVerification.h"
#include "workbench/BatchPaneWindow.h"
#include "workbench/ResultLog.h"

namespace sealrun::apps {

namespace ui = platform::ui;
namespace fs = std::filesystem;

namespace {

constexpr char16_t kVerifyCommand[] = u"签章验证";
constexpr char16_t kRemoveCommand[] = u"批量撤章";

constexpr char kVerifyHelp[] =
    "usage: sealrun verify [--export LOG.txt] FILE...\n"
    "\n"
    "Verifies every seal of every FILE as the user does in the reader: the pane is switched to \"签章验证\",\n"
    "the files are added and the run is started. Whether seal annotations or signature fields are checked\n"
    "is the SignatureMode of the user's settings (OrtavexConfig.dll; \"1\" signature fields). Each file gets\n"
    "one line, its name and its result (印章总数:T 有效:V 失效:I, or 文档打开失败), then the summary.\n"
    "Files are never changed.\n"
    "\n"
    "  --export LOG.txt  also write the result log, as the pane's \"导出日志\" button writes it\n"
    "\n"
    "Exit codes: 0 every file opened and every seal is valid, 1 some file failed to open or has an invalid\n"
    "seal, 2 refused.\n"
    "\n"
    "examples:\n"
    "  sealrun verify sealed/*.pdf\n"
    "  sealrun verify --export result.txt contract.pdf invoice.pdf\n";

constexpr char kRemoveHelp[] =
    "usage: sealrun remove [--pin-file FILE | --pin - | --pin PIN] FILE...\n"
    "\n"
    "Removes the latest seal of every FILE when it was applied with the inserted seal key (SEALRUN_KEY),\n"
    "as the user does from the pane's \"批量撤章\" mode; the key checks the PIN first. A file whose latest\n"
    "seal belongs to another key keeps all its seals. Each file changes only by one appended update.\n"
    "Prints the summary.\n"
    "\n"
    "  --pin-file FILE  the key's PIN: the first line of FILE (keep it readable by you alone)\n"
    "  --pin -          the key's PIN: the first line of standard input\n"
    "  --pin PIN        the key's PIN itself. Other users of the machine can read a command line while it\n"
    "                   runs (ps): scripts should use --pin-file or --pin -.\n"
    "                   With none of the three, the PIN is asked for on the terminal, unseen.\n"
    "\n"
    "Exit codes: 0 a seal was removed from every file, 1 some file kept its seals or could not be opened or\n"
    "written, 2 refused (wrong PIN, a key without a serial number).\n"
    "\n"
    "examples:\n"
    "  sealrun remove sealed/*.pdf                      (asks for the PIN)\n"
    "  sealrun remove --pin-file ~/.key-pin sealed/*.pdf\n";

constexpr char kInspectHelp[] =
    "usage: sealrun inspect [--json] FILE...\n"
    "\n"
    "Lists every seal of every FILE, in both forms: seal annotations (with the fingerprint check) and\n"
    "signature fields (with the engine's signature check): form, page, object number, valid or not, the\n"
    "revision (incremental update; 0 is the file as first written) the seal was added in, why it is\n"
    "invalid, every change a later revision made (its revision, page and object, allowed or not), and the\n"
    "lines of its record. Files are never changed.\n"
    "\n"
    "  --json  one JSON array of files instead of text\n"
    "\n"
    "Exit codes: 0 every file opened and every seal is valid, 1 otherwise, 2 refused.\n"
    "\n"
    "examples:\n"
    "  sealrun inspect contract.pdf\n"
    "  sealrun inspect --json sealed/*.pdf > seals.json\n";

std::u16string Wide(const fs::path& path) { return platform::fs::PathToUtf16(path); }
std::string Narrow(std::u16string_view text) { return platform::text::Utf16ToUtf8(text); }

bool WantsHelp(const std::vector<std::string>& arguments) {
  for (const auto& argument : arguments)
    if (argument == "--help" || argument == "-h") return true;
  return false;
}

// Switches the pane to a run mode through the add-in's command bar. The verify command selects its mode
// only when it opens the pane, so the pane is hidden first.
std::optional<std::string> OpenPaneIn(platform::host::HostDriver& driver, std::u16string_view command) {
  driver.ShowPane(kPaneName, false);
  if (!driver.ClickControl(command)) return "the add-in offers no \"" + Narrow(command) + "\" command";
  driver.ShowPane(kPaneName, true);
  if (PaneList(driver) == nullptr) return std::string("the add-in's pane did not open");
  return std::nullopt;
}

struct FileArguments {
  std::vector<fs::path> files;
  std::optional<fs::path> exportPath;
  PinOption pin{"pin"};
  bool json = false;
};

std::optional<FileArguments> ParseFiles(const std::vector<std::string>& arguments, bool allowExport, bool allowPin,
                                        bool allowJson, std::string& problem) {
  FileArguments parsed;
  bool filesOnly = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const bool hasValue = i + 1 < arguments.size();
    if (filesOnly || !argument.starts_with("--")) {
      parsed.files.emplace_back(argument);
    } else if (argument == "--") {
      filesOnly = true;
    } else if (allowExport && argument == "--export" && hasValue) {
      parsed.exportPath = arguments[++i];
    } else if (allowPin && parsed.pin.Take(arguments, i, problem)) {
      if (!problem.empty()) return std::nullopt;
    } else if (allowJson && argument == "--json") {
      parsed.json = true;
    } else {
      problem = "unexpected argument " + argument;
      return std::nullopt;
    }
  }
  if (parsed.files.empty()) problem = "at least one PDF file is wanted";
  if (!problem.empty()) return std::nullopt;
  auto files = ExpandInputFiles(parsed.files);
  if (auto* reason = std::get_if<std::string>(&files)) {
    problem = *reason;
    return std::nullopt;
  }
  parsed.files = std::get<std::vector<fs::path>>(std::move(files));
  return parsed;
}

// The number after `label` in a summary text ("撤章失败：3份"); -1 when it is not there.
int SummaryCount(std::u16string_view summary, std::u16string_view label) {
  const size_t at = summary.find(label);
  if (at == std::u16string_view::npos) return -1;
  int value = 0;
  bool any = false;
  for (size_t i = at + label.size(); i < summary.size() && summary[i] >= u'0' && summary[i] <= u'9'; ++i) {
    value = value * 10 + (summary[i] - u'0');
    any = true;
  }
  return any ? value : -1;
}

// A result text that stands for a failed file: not opened, or an invalid seal.
bool IsFailedResult(std::u16string_view result) {
  return result == verify::kOpenFailedText || SummaryCount(result, u" 失效:") != 0;
}

void PrintLines(std::u16string_view text) {
  std::string plain;
  for (const char c : Narrow(text))
    if (c != '\r') plain.push_back(c);
  while (!plain.empty() && plain.back() == '\n') plain.pop_back();
  std::printf("%s\n", plain.c_str());
}

int Verify(const FileArguments& options) {
  Session session;
  if (auto refusal = session.Start()) return Refuse(refusal->message);
  platform::host::HostDriver& driver = session.Driver();
  auto& user = dynamic_cast<ui::HeadlessBackend&>(ui::CurrentBackend());
  if (auto problem = OpenPaneIn(driver, kVerifyCommand)) return Refuse(*problem);
  if (!AddFilesToPane(driver, user, options.files)) return Refuse("the files could not be added to the pane");

  std::u16string summary;
  bool ran = false;
  user.OnDialog(verify::kVerifyDialogTemplate, [&](ui::Dialog& dialog) {
    ran = true;
    if (const auto* status = dialog.ChildAs<ui::Static>(verify::kVerifyStatusControl)) summary = status->Text();
    if (auto* ok = dialog.ChildAs<ui::Button>(ui::kIdOk)) ok->Click();
  });
  const bool pressed = driver.PressPaneButton(kPaneName, workbench::kRunCommand);
  user.OnDialog(verify::kVerifyDialogTemplate, nullptr);
  if (!pressed || !ran) return Refuse("the verification run did not start");

  const ui::ListView* list = PaneList(driver);
  bool anyFailed = false;
  for (int row = 0; list != nullptr && row < list->RowCount(); ++row) {
    const std::u16string result = list->ItemText(row, workbench::kRemarkColumn);
    anyFailed = anyFailed || IsFailedResult(result);
    std::printf("%s\t%s\n", TerminalSafe(list->ItemText(row, workbench::kNameColumn)).c_str(), TerminalSafe(result).c_str());
  }
  PrintLines(summary);
  if (options.exportPath) {
    user.QueueSaveFileAnswer(Wide(fs::absolute(*options.exportPath)));
    const size_t shown = user.MessageBoxes().size();
    if (!driver.PressPaneButton(kPaneName, workbench::kResultsCommand) || user.MessageBoxes().size() != shown)
      return Refuse("the log could not be written to " + options.exportPath->string());
  }
  std::fflush(stdout);
  return anyFailed ? kExitSomeFailed : kExitDone;
}

std::optional<Refusal> EnsureKeyRegistered() { return EnsureComponentRegistered(kKeyObjectProgId); }

int Remove(const FileArguments& options) {
  const auto keyPin = options.pin.Read("PIN of the seal key: ");
  if (const auto* refusal = std::get_if<Refusal>(&keyPin)) return Refuse(refusal->message);
  if (auto refusal = EnsureKeyRegistered()) return Refuse(refusal->message);
  Session session;
  if (auto refusal = session.Start()) return Refuse(refusal->message);
  platform::host::HostDriver& driver = session.Driver();
  auto& user = dynamic_cast<ui::HeadlessBackend&>(ui::CurrentBackend());
  if (auto problem = OpenPaneIn(driver, kRemoveCommand)) return Refuse(*problem);
  if (!AddFilesToPane(driver, user, options.files)) return Refuse("the files could not be added to the pane");

  std::optional<int> ended;
  std::u16string summary;
  user.OnDialog(verify::kRemoveDialogTemplate, [&](ui::Dialog& dialog) {
    if (auto* pin = dialog.ChildAs<ui::Edit>(verify::kRemovePinControl)) pin->Type(platform::text::Utf8ToUtf16(std::get<PinText>(keyPin).Utf8()));
    if (auto* ok = dialog.ChildAs<ui::Button>(ui::kIdOk)) ok->Click();
    // Refused: the dialog waits for another PIN; the user gives up.
    if (dialog.IsRunning()) dialog.EndDialog(ui::kIdCancel);
    ended = dialog.Result();
    if (const auto* status = dialog.ChildAs<ui::Static>(verify::kRemoveStatusControl)) summary = status->Text();
  });
  const bool pressed = driver.PressPaneButton(kPaneName, workbench::kRunCommand);
  user.OnDialog(verify::kRemoveDialogTemplate, nullptr);
  if (!pressed || !ended) return Refuse("the removal run did not start");
  // The reason (wrong PIN, no key serial) was shown by the add-in.
  if (*ended != ui::kIdOk) return kExitRefused;
  const int failed = SummaryCount(summary, u"撤章失败：");
  std::fflush(stdout);
  return failed == 0 ? kExitDone : kExitSomeFailed;
}

std::string SealJson(const verify::SealVerdict& seal) {
  std::string json = "{\"form\": \"" + std::string(FormName(seal.form)) + "\", \"page\": " +
                     std::to_string(seal.pageIndex + 1) + ", \"object\": " + std::to_string(seal.objectNumber) +
                     ", \"valid\": " + (seal.valid ? "true" : "false") + ", \"revision\": " +
                     (seal.revision < 0 ? "null" : std::to_string(seal.revision)) + ", \"findings\": [";
  for (size_t f = 0; f < seal.findings.size(); ++f)
    json += (f ? ", " : "") + JsonString(verify::FindingText(seal.findings[f]));
  json += "], \"changes\": [";
  for (size_t c = 0; c < seal.changes.size(); ++c) {
    const auto& change = seal.changes[c];
    json += std::string(c ? ", " : "") + "{\"kind\": " + JsonString(verify::ChangeKindText(change.kind)) +
            ", \"revision\": " + std::to_string(change.revision) + ", \"page\": " +
            (change.pageIndex < 0 ? "null" : std::to_string(change.pageIndex + 1)) + ", \"object\": " +
            std::to_string(change.objectNumber) + ", \"allowed\": " + (change.allowed ? "true" : "false") + "}";
  }
  json += "], \"record\": [";
  const auto lines = RecordLines(seal.record);
  for (size_t l = 0; l < lines.size(); ++l) json += (l ? ", " : "") + JsonString(lines[l]);
  return json + "]}";
}

int Inspect(const FileArguments& options) {
  const external::EngineHandle engine = external::StartEngine();
  if (!engine) return Refuse("the PDF engine did not start");
  bool allGood = true;
  std::string json = "[";
  for (size_t index = 0; index < options.files.size(); ++index) {
    const fs::path& file = options.files[index];
    FileSeals examined = ExamineFile(engine.get(), file);
    const bool opened = examined.opened;
    const bool complete = examined.complete;
    const std::vector<verify::SealVerdict>& seals = examined.seals;
    allGood = allGood && opened && complete;
    for (const auto& seal : seals) allGood = allGood && seal.valid;
    if (options.json) {
      json += index ? ",\n " : "\n ";
      json += "{\"file\": " + JsonString(file.string()) + ", \"opened\": " + (opened ? "true" : "false") +
              ", \"complete\": " + (complete ? "true" : "false") + ", \"seals\": [";
      for (size_t s = 0; s < seals.size(); ++s) json += std::string(s ? ", " : "") + SealJson(seals[s]);
      json += "]}";
      continue;
    }
    if (!opened) {
      std::printf("%s: 文档打开失败 (not a PDF file the engine can open)\n", TerminalSafe(file.string()).c_str());
      continue;
    }
    std::printf("%s: %zu seal(s)%s\n", TerminalSafe(file.string()).c_str(), seals.size(),
                complete ? "" : " (a page cannot be read: its seals are not listed)");
    for (const auto& seal : seals) {
      std::printf("  %s\n", SealHeadline(seal).c_str());
      for (const auto& line : SealDetails(seal)) std::printf("    %s\n", TerminalSafe(line).c_str());
    }
  }
  if (options.json) std::printf("%s\n]\n", json.c_str());
  std::fflush(stdout);
  return allGood ? kExitDone : kExitSomeFailed;
}

enum class Command { Verify, Remove, Inspect };

int RunCommand(Command command, const std::vector<std::string>& arguments) {
  const char* help = command == Command::Verify ? kVerifyHelp : command == Command::Remove ? kRemoveHelp : kInspectHelp;
  if (WantsHelp(arguments)) {
    std::fputs(help, stdout);
    return kExitDone;
  }
  std::string problem;
  const auto options = ParseFiles(arguments, command == Command::Verify, command == Command::Remove,
                                  command == Command::Inspect, problem);
  const char* name = command == Command::Verify ? "verify" : command == Command::Remove ? "remove" : "inspect";
  if (!options) return Refuse(problem + " (see sealrun " + name + " --help)");
  ui::ScopedBackend backend(std::make_unique<SafeTerminalBackend>());
  switch (command) {
    case Command::Verify: return Verify(*options);
    case Command::Remove: return Remove(*options);
    case Command::Inspect: return Inspect(*options);
  }
  return kExitRefused;
}

}  // namespace

const char* VerifyHelp() { return kVerifyHelp; }
const char* RemoveHelp() { return kRemoveHelp; }
const char* InspectHelp() { return kInspectHelp; }

int RunVerifyCommand(const std::vector<std::string>& arguments) { return RunCommand(Command::Verify, arguments); }
int RunRemoveCommand(const std::vector<std::string>& arguments) { return RunCommand(Command::Remove, arguments); }
int RunInspectCommand(const std::vector<std::string>& arguments) { return RunCommand(Command::Inspect, arguments); }

}  // namespace sealrun::apps
