#pragma once
// Where the demo key's PKCS#12 is: in the installation this program belongs to (<prefix>/share/sealrun/
// demo-key, the program standing in <prefix>/<libdir>/sealrun), else in the source tree it was built from.
#include <filesystem>

namespace sealrun::tramex {

std::filesystem::path DemoSigningKeyFile();

// The demo key's PIN, which protects its PKCS#12.
inline constexpr char kDemoKeyPassword[] = "123456";

}  // namespace sealrun::tramex
