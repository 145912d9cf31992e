// Reading and writing document files: byte order marks, declared encodings and code page conversion.
#include <string>
#include <system_error>

#include "platform/fs/Files.h"
#include "platform/text/CodePage.h"
#include "platform/text/Utf.h"
#include "support/XmlDocument.h"
#include "support/XmlEncodingTable.h"
#include "support/XmlUtf8.h"

namespace sealrun::support {
namespace {

using platform::text::CodePage;
using platform::text::Widen;

// How much of a file's start is examined for a declared encoding.
constexpr std::size_t kDetectionBytes = 1024;

constexpr std::string_view kUtf32LeMark{"\xFF\xFE\0\0", 4};
constexpr std::string_view kUtf32BeMark{"\0\0\xFE\xFF", 4};

std::u16string Number(std::size_t value) { return Widen(std::to_string(value)); }

bool IsWide(CodePage codePage) {
  return codePage == platform::text::kCpUtf16Le || codePage == platform::text::kCpUtf16Be ||
         codePage == platform::text::kCpUtf32Le || codePage == platform::text::kCpUtf32Be;
}

std::string Utf16Bytes(std::u16string_view text, bool bigEndian) {
  std::string bytes(text.size() * 2, '\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto low = static_cast<char>(text[i] & 0xFF);
    const auto high = static_cast<char>(text[i] >> 8);
    bytes[2 * i] = bigEndian ? high : low;
    bytes[2 * i + 1] = bigEndian ? low : high;
  }
  return bytes;
}

}  // namespace

bool XmlDocument::LoadFile(const std::filesystem::path& path) {
  result_.clear();
  byteOrderMark_ = XmlByteOrderMark::None;
  ClearDocument();
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (!error && size > kMaxFileBytes) {
    AddResult(u"file_error", {{u"type", u"read"}, {u"msg", u"file too large"}, {u"length", Number(size)}});
    return false;
  }
  const auto bytes = platform::fs::ReadFile(path);
  if (!bytes) {
    AddResult(u"file_error", {{u"type", u"read"}, {u"msg", platform::text::Utf8ToUtf16(platform::fs::LastErrorText())}});
    return false;
  }
  const bool clean = ReadBytes(*bytes);
  const bool wellFormed = Parse();
  return clean && wellFormed;
}

// Decodes the file's bytes into the document text and reports how; false when something was lost on the way.
bool XmlDocument::ReadBytes(const std::string& file) {
  std::string_view bytes = file;
  const auto startsWith = [&](std::string_view mark) { return bytes.starts_with(mark); };
  // UTF-32 marks first: the little-endian one begins with the UTF-16 mark.
  if (startsWith(kUtf32LeMark) || startsWith(kUtf32BeMark)) {
    const bool bigEndian = startsWith(kUtf32BeMark);
    byteOrderMark_ = bigEndian ? XmlByteOrderMark::Utf32Be : XmlByteOrderMark::Utf32Le;
    bytes.remove_prefix(4);
    AddResult(u"read", {{u"encoding", bigEndian ? u"UTF-32BE" : u"UTF-32LE"}, {u"length", Number(file.size())}});
    const std::size_t whole = bytes.size() - bytes.size() % 4;
    auto decoded = platform::text::DecodeFrom(bytes.substr(0, whole),
                                              bigEndian ? platform::text::kCpUtf32Be : platform::text::kCpUtf32Le);
    text_ = std::move(decoded.text);
    if (whole != bytes.size()) {
      AddResult(u"truncation_error", {{u"offset", Number(4 + whole)}, {u"length", Number(bytes.size() - whole)}});
      return false;
    }
    return !decoded.lossy;
  }
  if (startsWith("\xFF\xFE") || startsWith("\xFE\xFF")) {
    const bool bigEndian = bytes[0] == '\xFE';
    byteOrderMark_ = bigEndian ? XmlByteOrderMark::Utf16Be : XmlByteOrderMark::Utf16Le;
    bytes.remove_prefix(2);
    AddResult(u"read", {{u"encoding", bigEndian ? u"UTF-16BE" : u"UTF-16LE"}, {u"length", Number(file.size())}});
    bool clean = true;
    if (bytes.size() % 2 != 0) {
      AddResult(u"truncation_error", {{u"offset", Number(file.size() - 1)}, {u"length", u"1"}});
      bytes.remove_suffix(1);
      clean = false;
    }
    if (bigEndian) AddResult(u"endian_swap", {{u"length", Number(bytes.size() / 2)}});
    text_.clear();
    text_.reserve(bytes.size() / 2);
    std::size_t nulls = 0;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
      const auto first = static_cast<unsigned char>(bytes[i]);
      const auto second = static_cast<unsigned char>(bytes[i + 1]);
      const auto unit = static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
      if (unit == 0) {
        ++nulls;
        continue;
      }
      text_ += unit;
    }
    if (nulls != 0) AddResult(u"nulls_removed", {{u"count", Number(nulls)}});
    return clean;
  }

  std::u16string encoding;
  CodePage codePage = platform::text::kCpUtf8;
  if (startsWith("\xEF\xBB\xBF")) {
    byteOrderMark_ = XmlByteOrderMark::Utf8;
    bytes.remove_prefix(3);
    encoding = u"UTF-8";
  } else {
    encoding = DeclaredEncoding(platform::text::Utf8ToUtf16(bytes.substr(0, kDetectionBytes)));
    if (!encoding.empty()) {
      const auto declared = CodePageOfEncodingName(encoding);
      if (!declared || !platform::text::IsCodePageSupported(*declared)) {
        // Read it as UTF-8 so it can be looked at, but never report it as read: saving would damage it.
        AddResult(u"converted_to", {{u"encoding", encoding}, {u"msg", u"unknown encoding"}});
        text_ = platform::text::Utf8ToUtf16(bytes);
        return false;
      }
      // A declaration legible as 8-bit text means the bytes are not really UTF-16 or UTF-32.
      codePage = IsWide(*declared) ? platform::text::kCpUtf8 : *declared;
    } else if (!bytes.empty() && bytes[0] == '<') {
      encoding = u"UTF-8";
    } else {
      const bool utf8 = platform::text::IsValidUtf8(bytes);
      AddResult(u"utf8_detection", {{u"type", utf8 ? u"UTF-8" : u"ANSI"}});
      if (utf8) {
        encoding = u"UTF-8";
      } else {
        codePage = platform::text::kCpAcp;  // the empty encoding name stands for it
      }
    }
  }

  AddResult(u"read", {{u"encoding", encoding}, {u"length", Number(file.size())}});
  if (codePage == platform::text::kCpUtf8) {
    if (auto utf16 = DecodeValidUtf8(bytes)) {
      text_ = std::move(*utf16);
      return true;
    }
  }
  auto decoded = platform::text::DecodeFrom(bytes, codePage);
  text_ = std::move(decoded.text);
  if (!decoded.lossy) return true;
  // A multibyte character cut off at the end of the file is a truncation; anything else was unconvertible.
  for (std::size_t cut = 1; cut <= 3 && cut < bytes.size(); ++cut) {
    if (!platform::text::DecodeFrom(bytes.substr(0, bytes.size() - cut), codePage).lossy) {
      AddResult(u"truncation_error", {{u"offset", Number(file.size() - cut)}, {u"length", Number(cut)}});
      return false;
    }
  }
  AddResult(u"converted_to", {{u"encoding", u"UTF-16"}, {u"msg", u"unconvertible bytes replaced"},
                              {u"length", Number(text_.size())}});
  return false;
}

bool XmlDocument::SaveFile(const std::filesystem::path& path) {
  result_.clear();
  std::u16string encoding;
  CodePage codePage = platform::text::kCpUtf8;
  std::string bytes;
  switch (byteOrderMark_) {
    case XmlByteOrderMark::Utf8:
      encoding = u"UTF-8";
      bytes = "\xEF\xBB\xBF";
      break;
    case XmlByteOrderMark::Utf16Le:
      encoding = u"UTF-16LE";
      codePage = platform::text::kCpUtf16Le;
      break;
    case XmlByteOrderMark::Utf16Be:
      encoding = u"UTF-16BE";
      codePage = platform::text::kCpUtf16Be;
      break;
    case XmlByteOrderMark::Utf32Le:
      encoding = u"UTF-32LE";
      codePage = platform::text::kCpUtf32Le;
      break;
    case XmlByteOrderMark::Utf32Be:
      encoding = u"UTF-32BE";
      codePage = platform::text::kCpUtf32Be;
      break;
    case XmlByteOrderMark::None: {
      encoding = DeclaredEncoding(std::u16string_view(text_).substr(0, kDetectionBytes));
      if (encoding.empty()) {
        encoding = u"UTF-8";
        break;
      }
      const auto declared = CodePageOfEncodingName(encoding);
      if (!declared || !platform::text::IsCodePageSupported(*declared)) {
        AddResult(u"converted_from", {{u"encoding", encoding}, {u"msg", u"unknown encoding"}});
        return false;
      }
      codePage = *declared;
      break;
    }
  }

  if (codePage == platform::text::kCpUtf16Le || codePage == platform::text::kCpUtf16Be) {
    // Always with a mark: without one the file could not be recognised when read again.
    const bool bigEndian = codePage == platform::text::kCpUtf16Be;
    bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    bytes += Utf16Bytes(text_, bigEndian);
  } else {
    // UTF-32 as well: a mark, or the file could not be read back.
    if (codePage == platform::text::kCpUtf32Le) bytes = kUtf32LeMark;
    if (codePage == platform::text::kCpUtf32Be) bytes = kUtf32BeMark;
    auto encoded = platform::text::EncodeTo(text_, codePage);
    if (encoded.lossy) {
      // A character the encoding cannot hold would be written as "?": the file keeps what it had.
      AddResult(u"conversion_loss", {{u"encoding", encoding}});
      return false;
    }
    bytes += encoded.text;
  }
  if (!platform::fs::ReplaceFileAtomically(path, bytes)) {
    AddResult(u"file_error",
              {{u"type", u"write"}, {u"msg", platform::text::Utf8ToUtf16(platform::fs::LastErrorText())}});
    return false;
  }
  AddResult(u"write", {{u"encoding", encoding}, {u"length", Number(bytes.size())}});
  return true;
}

}  // namespace sealrun::support
