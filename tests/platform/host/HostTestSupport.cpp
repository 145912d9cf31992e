#include "tests/platform/host/HostTestSupport.h"

#include <cstdio>
#include <memory>

#include "platform/com/Registration.h"
#include "platform/host/HostSettings.h"
#include "platform/imaging/ImageCodec.h"
#include "platform/text/Utf.h"
#include "tests/platform/host/testaddin/TestAddIn.h"

namespace sealrun::platform::host::testing {

HostTest::HostTest()
    : appData_("XDG_CONFIG_HOME", (temp_.Path() / "appdata").string()),
      registry_("SEALRUN_REGISTRY", (temp_.Path() / "registry").string()) {}

std::filesystem::path HostTest::CopyCorpus(const std::string& name) {
  const auto source = sealrun::testing::CorpusFile(name);
  const auto target = temp_.Path() / name;
  std::filesystem::copy_file(source, target, std::filesystem::copy_options::overwrite_existing);
  // The corpus is read-only; the copy is the user's own file.
  std::filesystem::permissions(target, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
  return target;
}

void HostTest::RegisterTestModule() {
  const std::u16string module = text::Utf8ToUtf16(SEALRUN_TEST_HOST_ADDIN);
  com::ServerRegistration addIn;
  addIn.clsid = testaddin::kAddInClsid;
  addIn.description = u"Test host add-in";
  addIn.modulePath = module;
  addIn.progId = testaddin::kAddInProgId;
  addIn.programmable = true;
  com::ServerRegistration pane;
  pane.clsid = testaddin::kPaneClsid;
  pane.description = u"Test pane";
  pane.modulePath = module;
  pane.progId = testaddin::kPaneProgId;
  pane.control = true;
  ASSERT_EQ(com::RegisterServer(addIn, com::RegistrationScope::Machine), com::S_OK);
  ASSERT_EQ(com::RegisterServer(pane, com::RegistrationScope::Machine), com::S_OK);
}

HostOptions HostTest::SettingsWith(const std::vector<std::u16string>& addIns, com::LONG languageId) {
  HostSettings settings;
  settings.addIns = addIns;
  settings.languageId = languageId;
  const auto path = temp_.Path() / "host.conf";
  EXPECT_TRUE(WriteHostSettings(path, settings));
  return HostOptions{path};
}

std::string Quote(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

void WriteSolidPng(const std::filesystem::path& path, int width, int height, uint8_t red, uint8_t green,
                   uint8_t blue) {
  std::optional<imaging::Image> image = imaging::Image::Create(width, height, 24);
  ASSERT_TRUE(image);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) image->SetPixel(x, y, {red, green, blue, 255});
  const std::optional<std::string> png = imaging::EncodePng(*image);
  ASSERT_TRUE(png);
  sealrun::testing::WriteFileBytes(path, *png);
}

uint32_t Rendering::At(int x, int y) const {
  const size_t at = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
  return (static_cast<uint32_t>(static_cast<uint8_t>(rgb[at])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(rgb[at + 1])) << 8) | static_cast<uint8_t>(rgb[at + 2]);
}

std::optional<Rendering> RenderPage(const std::filesystem::path& pdf, int pageIndex, const std::filesystem::path& dir) {
  const auto stem = dir / (pdf.stem().string() + "-render" + std::to_string(pageIndex));
  const std::string page = std::to_string(pageIndex + 1);
  if (RunTool("pdftoppm -cropbox -r 72 -f " + page + " -l " + page + " -singlefile " + Quote(pdf) + " " + Quote(stem))
          .exitCode != 0)
    return std::nullopt;
  const std::string bytes = sealrun::testing::ReadFileBytes(stem.string() + ".ppm");
  // P6 header: magic, width, height, maximum, each followed by white space.
  Rendering rendering;
  int maximum = 0;
  int consumed = 0;
  if (std::sscanf(bytes.c_str(), "P6 %d %d %d%n", &rendering.width, &rendering.height, &maximum, &consumed) != 3)
    return std::nullopt;
  rendering.rgb = bytes.substr(static_cast<size_t>(consumed) + 1);
  if (rendering.rgb.size() < static_cast<size_t>(rendering.width) * static_cast<size_t>(rendering.height) * 3)
    return std::nullopt;
  return rendering;
}

}  // namespace sealrun::platform::host::testing
