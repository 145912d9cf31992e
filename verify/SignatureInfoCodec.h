#pragma once
// Reading back the information record stored with every seal: its two encodings and its key=value lines.
// The stamping side writes the record (signing/SignatureInfo.h); verification and removal only read it.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sealrun::verify {

// Record flag 0: the seal annotation's /BaseInfo (SealInfoAlphabet over UTF-16LE).
// Record flag 1: the signature field's private data (standard alphabet over the ANSI code page).
enum class RecordForm { SealOnly = 0, SignatureField = 1 };

// The record text back from its encoded form. The seal-only form's pad symbols read back as zero bytes,
// which are dropped with an odd trailing byte.
std::u16string DecodeSignatureInfo(std::string_view encoded, RecordForm form);

// The record's lines as (key, value) pairs in order: "key=value" lines split at the first "=", and the
// "SignatureKeySN:value;" line as key "SignatureKeySN". Lines of neither form are skipped.
using SignatureInfoFields = std::vector<std::pair<std::u16string, std::u16string>>;
SignatureInfoFields ParseSignatureInfo(std::u16string_view text);
// The value of the first line with that key, or nullopt.
std::optional<std::u16string> FindSignatureInfoValue(const SignatureInfoFields& fields, std::u16string_view key);

}  // namespace sealrun::verify
