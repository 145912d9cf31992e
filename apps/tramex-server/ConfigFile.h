#pragma once
// tramex-server's configuration file: lines of `key = value`, `#` comments, and one `[client NAME]` section
// per client. Every key is documented in tramex-server.conf.example. Unknown keys, repeated keys, malformed
// values and unreadable files are errors naming the file and the line: a server never starts on a
// configuration it did not understand.
#include <string>

#include "apps/tramex-server/ServerOptions.h"

namespace sealrun::tramex {

// Reads the file into `options` (relative paths are taken from the file's folder). False with "FILE:LINE:
// what is wrong" (or "FILE: why it cannot be read") in `error`.
bool LoadConfigFile(const std::string& path, ServerOptions& options, std::string& error);

// The 64 lower-case hex digits of a SHA-256 value written in hex, with or without colons between the bytes
// (as `openssl x509 -fingerprint -sha256` prints it); empty when the text is not one.
std::string NormaliseSha256Hex(std::string_view text);

}  // namespace sealrun::tramex
