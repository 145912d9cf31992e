#pragma once
// Small helpers shared by the crypto tests: the openssl command line for interoperability checks.
#include <filesystem>
#include <string>

#include "platform/crypto/Bytes.h"
#include "tests/testsupport/TempDir.h"
#include "tests/testsupport/ToolRun.h"

namespace sealrun::platform::crypto::testutil {

inline bool HaveOpensslTool() { return sealrun::testing::RunTool("openssl version").exitCode == 0; }

// Runs the command with output discarded; true when it exits with 0.
inline bool Run(const std::string& command) { return sealrun::testing::RunTool(command).exitCode == 0; }

inline void WriteBytes(const std::filesystem::path& path, ByteView bytes) {
  testing::WriteFileBytes(path, std::string(AsChars(bytes)));
}

inline Bytes ReadBytes(const std::filesystem::path& path) {
  const std::string text = testing::ReadFileBytes(path);
  return Bytes(text.begin(), text.end());
}

}  // namespace sealrun::platform::crypto::testutil
