#include "apps/sealrun/Commands.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "apps/common/Session.h"
#include "apps/sealrun/TemplateAccess.h"
#include "apps/sealrun/TerminalText.h"
#include "platform/fs/Files.h"
#include "platform/fs/Paths.h"
#include "platform/imaging/ImageCodec.h"
#include "platform/text/Utf.h"
#include "platform/ui/HeadlessBackend.h"

namespace sealrun::apps {

namespace host = platform::host;

namespace {

constexpr char kPaneName[] = "Sealrun";

struct PrestampOptions {
  std::filesystem::path templatePath;
  int page = 0;  // from 1
  double x = 0;
  double y = 0;
  std::optional<std::filesystem::path> image;
  int viewRotation = 0;
};

bool ParseNumber(const std::string& text, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && std::isfinite(value);
}

bool ParseInt(const std::string& text, int& value) {
  double number = 0;
  if (!ParseNumber(text, number) || number != static_cast<int>(number)) return false;
  value = static_cast<int>(number);
  return true;
}

std::u16string Wide(const std::filesystem::path& path) { return platform::fs::PathToUtf16(path); }

std::optional<PrestampOptions> ParsePrestamp(const std::vector<std::string>& arguments, std::string& problem) {
  PrestampOptions options;
  bool havePage = false;
  bool havePoint = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const bool hasValue = i + 1 < arguments.size();
    if (argument == "--page" && hasValue) {
      if (!ParseInt(arguments[++i], options.page) || options.page < 1) {
        problem = "--page wants a page number from 1";
        return std::nullopt;
      }
      havePage = true;
    } else if (argument == "--at" && hasValue) {
      const std::string& point = arguments[++i];
      const size_t comma = point.find(',');
      if (comma == std::string::npos || !ParseNumber(point.substr(0, comma), options.x) ||
          !ParseNumber(point.substr(comma + 1), options.y)) {
        problem = "--at wants X,Y in points from the page's top-left corner";
        return std::nullopt;
      }
      havePoint = true;
    } else if (argument == "--image" && hasValue) {
      options.image = arguments[++i];
    } else if (argument == "--view-rotation" && hasValue) {
      if (!ParseInt(arguments[++i], options.viewRotation) ||
          (options.viewRotation != 0 && options.viewRotation != 90 && options.viewRotation != 180 &&
           options.viewRotation != 270)) {
        problem = "--view-rotation wants 0, 90, 180 or 270";
        return std::nullopt;
      }
    } else if (!argument.starts_with("--") && options.templatePath.empty()) {
      options.templatePath = argument;
    } else {
      problem = "unexpected argument " + argument;
      return std::nullopt;
    }
  }
  if (options.templatePath.empty() || !havePage || !havePoint) {
    problem = "prestamp wants TEMPLATE.pdf --page N --at X,Y";
    return std::nullopt;
  }
  return options;
}

// Right-clicks on an empty spot of the page, where the add-in offers its popup, and picks an item.
bool ChoosePopupItem(host::HostDriver& driver, int pageIndex, host::Point point, std::u16string_view caption) {
  driver.RightClick(pageIndex, point);
  if (!driver.Popup()) return false;
  return driver.ClickPopupItem(caption);
}

}  // namespace

std::optional<std::string> OpenTemplate(host::HostDriver& driver, const std::filesystem::path& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return "the template " + path.string() + " does not exist";
  if (platform::com::FAILED(driver.OpenDocument(Wide(std::filesystem::absolute(path)))))
    return "the template " + path.string() + " is not a PDF file the reader can open";
  return std::nullopt;
}

int Refuse(const std::string& message) {
  std::fprintf(stderr, "sealrun: %s\n", TerminalSafe(message).c_str());
  return kExitRefused;
}

const char* PrestampHelp() {
  return "usage: sealrun prestamp TEMPLATE.pdf --page N --at X,Y [--image FILE] [--view-rotation 0|90|180|270]\n"
    "\n"
    "Opens TEMPLATE.pdf in the reader, picks \"预盖印章\" (pre-stamp) from the add-in's popup, clicks at\n"
    "X,Y on page N (from 1; points from the page's top-left corner as displayed, y downward) and saves the\n"
    "template. --image FILE first chooses the seal picture through \"自选印章\" (the choice is remembered in\n"
    "BatchPDFConfig.dll, the user's own copy in Signavox_ConfigFile/ when there is no settings folder beside\n"
    "the add-in; when it cannot be kept, standard error says so); without it the last chosen picture, or the\n"
    "built-in seal, is used.\n"
    "--view-rotation turns the view before the click.\n"
    "\n"
    "examples:\n"
    "  sealrun prestamp contract-template.pdf --page 1 --at 420,700\n"
    "  sealrun prestamp contract-template.pdf --page 2 --at 200,150 --image Round.png --view-rotation 90\n";
}

const char* TemplatesHelp() {
  return "usage: sealrun templates TEMPLATE.pdf\n"
    "\n"
    "Prints each pre-stamp of the template as the signing run reads it: left, top, right, bottom, page\n"
    "index, page rotation, name, image rotation, page width, page height, then the corner offsets\n"
    "(top-left, top-right, bottom-left, bottom-right, each horizontal and vertical), separated by tabs.\n"
    "\n"
    "examples:\n"
    "  sealrun templates contract-template.pdf\n";
}

int RunPrestamp(const std::vector<std::string>& arguments) {
  std::string problem;
  const auto options = ParsePrestamp(arguments, problem);
  if (!options) return Refuse(problem + " (see sealrun prestamp --help)");
  std::optional<platform::ui::OpenFileAnswer> imageAnswer;
  if (options->image) {
    const auto bytes = platform::fs::ReadFile(*options->image);
    if (!bytes) return Refuse("the image " + options->image->string() + " cannot be read");
    if (!platform::imaging::DecodeImage(
            std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size())))
      return Refuse("the image " + options->image->string() + " does not decode (PNG, JPEG, GIF or BMP expected)");
    const auto absolute = std::filesystem::absolute(*options->image);
    imageAnswer = platform::ui::OpenFileAnswer{Wide(absolute.parent_path()), {Wide(absolute.filename())}};
  }

  Session session;
  if (auto refusal = session.Start()) return Refuse(refusal->message);
  host::HostDriver& driver = session.Driver();
  if (auto failure = OpenTemplate(driver, options->templatePath)) return Refuse(*failure);
  const int pages = ActivePageCount(driver);
  if (options->page > pages)
    return Refuse("the template has " + std::to_string(pages) + " page(s); there is no page " +
                  std::to_string(options->page));
  if (options->viewRotation != 0) driver.SetViewRotation(options->viewRotation);
  driver.ShowPane(platform::text::Widen(kPaneName));

  const int pageIndex = options->page - 1;
  const host::Point point{options->x, options->y};
  auto& backend = dynamic_cast<platform::ui::HeadlessBackend&>(platform::ui::CurrentBackend());
  if (imageAnswer) {
    backend.QueueOpenFileAnswer(imageAnswer);
    if (!ChoosePopupItem(driver, pageIndex, point, u"自选印章"))
      return Refuse("the add-in offered no popup at that point (is something else under it?)");
  }
  if (!ChoosePopupItem(driver, pageIndex, point, u"预盖印章"))
    return Refuse("the add-in offered no popup at that point (is something else under it?)");
  const auto before = ReadTemplates(driver).value_or(std::vector<addin::SealTemplate>{});
  const auto click = driver.Click(pageIndex, point);
  if (!click.onPage) return Refuse("the point lies outside page " + std::to_string(options->page));
  const auto templates = ReadTemplates(driver).value_or(std::vector<addin::SealTemplate>{});
  if (templates.size() != before.size() + 1) return Refuse("no pre-stamp was placed");
  // The records come back in page order; the new one is the one that was not there before.
  auto isOld = [&before](const addin::SealTemplate& record) {
    for (const auto& old : before)
      if (old.pageIndex == record.pageIndex && old.name == record.name && old.left == record.left && old.top == record.top)
        return true;
    return false;
  };
  const auto placed = std::find_if_not(templates.begin(), templates.end(), isOld);
  if (platform::com::FAILED(driver.SaveActiveDocument()))
    return Refuse("the template " + options->templatePath.string() + " cannot be saved");

  std::printf("pre-stamp \"%s\" placed on page %d; template saved\n",
              TerminalSafe(placed != templates.end() ? placed->name : templates.back().name).c_str(),
              options->page);
  return kExitDone;
}

int RunTemplates(const std::vector<std::string>& arguments) {
  if (arguments.size() != 1 || arguments[0].starts_with("--"))
    return Refuse("templates wants TEMPLATE.pdf (see sealrun templates --help)");
  Session session;
  if (auto refusal = session.Start()) return Refuse(refusal->message);
  if (auto failure = OpenTemplate(session.Driver(), arguments[0])) return Refuse(*failure);
  const auto templates = ReadTemplates(session.Driver());
  if (!templates) return Refuse("no document is open");
  for (const auto& record : *templates) std::printf("%s\n", FormatTemplate(record).c_str());
  return kExitDone;
}

}  // namespace sealrun::apps
