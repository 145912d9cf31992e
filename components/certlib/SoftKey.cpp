#include "components/certlib/SoftKey.h"

#include <pugixml.hpp>

#include <system_error>

#include "platform/fs/Files.h"
#include "platform/fs/KnownFolders.h"
#include "platform/fs/Paths.h"
#include "platform/text/Utf.h"

namespace sealrun::components::certlib {
namespace {

constexpr char16_t kDefaultCertificate[] = u"signer.pem";
constexpr char16_t kDefaultPkcs12[] = u"signer.p12";

std::u16string TextOf(const pugi::xml_node& node) {
  return platform::text::Utf8ToUtf16(node.child_value());
}

std::u16string AttributeOr(const pugi::xml_node& node, const char* name, std::u16string_view fallback) {
  const pugi::xml_attribute attribute = node.attribute(name);
  if (!attribute) return std::u16string(fallback);
  return platform::text::Utf8ToUtf16(attribute.value());
}

// Surrounding white space of element text is layout, not content.
std::u16string Trimmed(std::u16string text) {
  const auto isSpace = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
  std::size_t begin = 0;
  while (begin < text.size() && isSpace(text[begin])) ++begin;
  std::size_t end = text.size();
  while (end > begin && isSpace(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

}  // namespace

std::filesystem::path KeyFilePath(const std::filesystem::path& folder, std::u16string_view name) {
  if (name.empty()) return {};
  const std::filesystem::path relative = platform::fs::PathFromUtf16(name);
  if (relative.empty() || relative.is_absolute() || relative.has_root_name() || relative.has_root_directory())
    return {};
  for (const auto& part : relative)
    if (part == "..") return {};
  return folder / relative;
}

std::optional<std::string> ReadKeyFile(const std::filesystem::path& path) {
  constexpr std::uintmax_t kLargestKeyFile = 1024 * 1024;
  std::error_code error;
  if (path.empty() || !std::filesystem::is_regular_file(path, error)) return std::nullopt;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error || size > kLargestKeyFile) return std::nullopt;
  return platform::fs::ReadFile(path);
}

std::optional<SoftKey> ReadSoftKey(const std::filesystem::path& folder) {
  pugi::xml_document document;
  if (!document.load_file((folder / "key.xml").c_str(), pugi::parse_default, pugi::encoding_utf8)) return std::nullopt;
  const pugi::xml_node root = document.child("SealKey");
  if (!root) return std::nullopt;

  SoftKey key;
  key.folder = folder;
  key.serial = Trimmed(TextOf(root.child("Serial")));
  key.provider = Trimmed(TextOf(root.child("Provider")));
  if (const pugi::xml_node signer = root.child("Signer")) {
    key.signerCertificate = KeyFilePath(folder, AttributeOr(signer, "certificate", kDefaultCertificate));
    key.signerPkcs12 = KeyFilePath(folder, AttributeOr(signer, "pkcs12", kDefaultPkcs12));
    key.signerToken = signer.attribute("token").as_string();
    if (!key.signerToken.empty()) key.signerPkcs12.clear();
  }
  return key;
}

std::optional<SoftKey> ReadInsertedKey() {
  const std::filesystem::path folder = platform::fs::SealKeyDir();
  if (folder.empty()) return std::nullopt;
  return ReadSoftKey(folder);
}

}  // namespace sealrun::components::certlib
