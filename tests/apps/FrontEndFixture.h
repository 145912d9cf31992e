#pragma once
// The terminal front end run as a user runs it, in a private environment: its own settings folder,
// registry, reader settings, temporary folder and seal key location (empty until a test inserts a key).
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/apps/ProgramRun.h"
#include "tests/testsupport/PrivateUser.h"
#include "tests/testsupport/TempDir.h"

namespace sealrun::apps {

using testing::ProgramRun;

class FrontEnd : public ::testing::Test {
 protected:
  ProgramRun Sealrun(const std::vector<std::string>& arguments) { return testing::RunProgram(SEALRUN_PROGRAM, arguments); }

  std::filesystem::path Template(const std::string& corpusName) {
    const auto source = sealrun::testing::CorpusFile(corpusName);
    const auto target = temp_ / "template.pdf";
    std::filesystem::copy_file(source, target, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(target, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    return target;
  }

  // The seal form every later run uses: "1" signature fields, "0" seal annotations.
  void UseSignatureMode(const char* mode) {
    const std::filesystem::path folder = temp_ / "config" / "Signavox_ConfigFile";
    std::filesystem::create_directories(folder);
    sealrun::testing::WriteFileBytes(folder / "OrtavexConfig.dll",
                   std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Brasmoor><SIGNATURE><SignatureMode>") +
                       mode + "</SignatureMode></SIGNATURE></Brasmoor>\r\n");
  }

  // Signatures made by the signing server at `url` from now on.
  void UseSigningServer(const std::string& url) {
    const std::filesystem::path folder = temp_ / "config" / "Signavox_ConfigFile";
    std::filesystem::create_directories(folder);
    sealrun::testing::WriteFileBytes(folder / "BrasmoorPublic.dll",
                   "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Brasmoor><Public><WebUrl>" + url +
                       "</WebUrl><DigitalSignOnline>true</DigitalSignOnline></Public></Brasmoor>\r\n");
  }

  static std::vector<std::vector<std::string>> Records(const std::string& output) {
    std::vector<std::vector<std::string>> records;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
      std::vector<std::string> fields;
      std::istringstream cells(line);
      std::string cell;
      while (std::getline(cells, cell, '\t')) fields.push_back(cell);
      records.push_back(fields);
    }
    return records;
  }

  sealrun::testing::TempDir temp_;
  sealrun::testing::PrivateUser user_{temp_.Path()};
};

}  // namespace sealrun::apps
