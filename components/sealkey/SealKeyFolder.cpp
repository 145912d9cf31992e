#include "components/sealkey/SealKeyFolder.h"

#include <pugixml.hpp>

#include <charconv>
#include <fstream>
#include <iterator>
#include <system_error>

#include "platform/crypto/TokenUri.h"
#include "platform/fs/DebugTrace.h"
#include "platform/text/Utf.h"

namespace sealrun::components::sealkey {
namespace {

using platform::text::Utf8ToUtf16;

void Trace(std::string_view what) {
  platform::fs::DebugTrace("Sealrun.KeyObject: " + std::string(what));
}

std::optional<std::vector<uint8_t>> ParseHex(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::vector<uint8_t> bytes(text.size() / 2);
  for (size_t i = 0; i < bytes.size(); ++i) {
    const char* first = text.data() + 2 * i;
    const auto [end, error] = std::from_chars(first, first + 2, bytes[i], 16);
    if (error != std::errc() || end != first + 2) return std::nullopt;
  }
  return bytes;
}

std::string_view Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

bool HasControlCharacter(std::string_view text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  return false;
}

// A file named by key.xml, resolved inside the key folder. Absolute names and ".." are refused so a
// key cannot make the component read files elsewhere.
std::optional<std::filesystem::path> InsideKey(const std::filesystem::path& folder, std::string name) {
  if (name.empty() || name.find('\0') != std::string::npos) return std::nullopt;
  for (char& c : name)
    if (c == '\\') c = '/';
  const std::filesystem::path relative(name);
  if (relative.is_absolute() || relative.has_root_name() || relative.has_root_directory()) return std::nullopt;
  for (const auto& part : relative)
    if (part == "..") return std::nullopt;
  return folder / relative;
}

std::optional<PinVerifier> ParsePin(const pugi::xml_node& pin) {
  if (!pin || std::string_view(pin.attribute("kdf").as_string()) != "PBKDF2-HMAC-SHA256") return std::nullopt;
  const std::string_view iterationsText = pin.attribute("iterations").as_string();
  PinVerifier verifier;
  const auto [end, error] =
      std::from_chars(iterationsText.data(), iterationsText.data() + iterationsText.size(), verifier.iterations);
  if (error != std::errc() || end != iterationsText.data() + iterationsText.size() || verifier.iterations == 0 ||
      verifier.iterations > kMaxPinIterations)
    return std::nullopt;
  auto salt = ParseHex(pin.attribute("salt").as_string());
  auto derived = ParseHex(Trimmed(pin.text().as_string()));
  if (!salt || salt->empty() || salt->size() > 64 || !derived || derived->size() != 32) return std::nullopt;
  verifier.salt = std::move(*salt);
  verifier.derivedKey = std::move(*derived);
  return verifier;
}

std::optional<SealEntry> ParseSeal(const pugi::xml_node& seal, const std::filesystem::path& folder) {
  const std::string_view name = seal.attribute("name").as_string();
  const auto picture = InsideKey(folder, seal.attribute("file").as_string());
  if (name.empty() || !picture) return std::nullopt;
  std::error_code error;
  if (!std::filesystem::is_regular_file(*picture, error) ||
      std::filesystem::file_size(*picture, error) > kMaxPictureBytes || error)
    return std::nullopt;
  SealEntry entry;
  entry.name = Utf8ToUtf16(name);
  entry.unit = Utf8ToUtf16(seal.attribute("unit").as_string());
  entry.user = Utf8ToUtf16(seal.attribute("user").as_string());
  entry.serial = Utf8ToUtf16(seal.attribute("serial").as_string());
  if (const pugi::xml_attribute ext = seal.attribute("ext"))
    entry.extension = Utf8ToUtf16(ext.as_string());
  else
    entry.extension = platform::text::Utf8ToUtf16(picture->extension().string());
  entry.picture = *picture;
  return entry;
}

}  // namespace

std::optional<std::string> ReadKeyFile(const std::filesystem::path& path, uintmax_t maxBytes) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  const uintmax_t size = std::filesystem::file_size(path, error);
  if (error || size > maxBytes) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes(static_cast<size_t>(size), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(size));
  if (in.gcount() != static_cast<std::streamsize>(size)) return std::nullopt;
  // A file that grew while being read is refused rather than cut short.
  if (in.peek() != std::char_traits<char>::eof()) return std::nullopt;
  return bytes;
}

std::optional<SealKey> ParseSealKey(const std::string& keyXml, const std::filesystem::path& folder) {
  pugi::xml_document document;
  if (!document.load_buffer(keyXml.data(), keyXml.size(), pugi::parse_default, pugi::encoding_utf8)) {
    Trace("key.xml is not well-formed; no key");
    return std::nullopt;
  }
  const pugi::xml_node root = document.child("SealKey");
  if (!root || std::string_view(root.attribute("version").as_string()) != "1") {
    Trace("key.xml has no SealKey of version 1; no key");
    return std::nullopt;
  }
  SealKey key;
  key.folder = folder;
  const std::string_view serial = Trimmed(root.child("Serial").text().as_string());
  if (serial.empty() || HasControlCharacter(serial)) {
    Trace("key.xml has no usable serial; no key");
    return std::nullopt;
  }
  key.serial = Utf8ToUtf16(serial);
  if (const pugi::xml_node signer = root.child("Signer")) {
    key.signerCertificate = InsideKey(folder, signer.attribute("certificate").as_string());
    key.signerPkcs12 = InsideKey(folder, signer.attribute("pkcs12").as_string());
    if (const std::string_view token = signer.attribute("token").as_string(); !token.empty()) {
      if (!platform::crypto::ParseTokenUri(token)) {
        Trace("key.xml names its token in a form that cannot be used; no key");
        return std::nullopt;
      }
      key.signerToken = std::string(token);
      key.signerPkcs12.reset();
    }
  }
  // A token checks and counts its PIN itself: a token key keeps no verifier and no unlock code.
  if (!key.signerToken) {
    auto pin = ParsePin(root.child("Pin"));
    if (!pin) {
      Trace("key.xml has no usable PIN verifier; no key");
      return std::nullopt;
    }
    key.pin = std::move(*pin);
    if (const pugi::xml_node unlock = root.child("UnlockCode")) {
      key.unlockCode = ParsePin(unlock);
      if (!key.unlockCode) Trace("key.xml has an unusable unlock code verifier; the key has no unlock code");
    }
  }
  for (const pugi::xml_node seal : root.children("Seal")) {
    if (key.seals.size() == kMaxSeals) {
      Trace("key.xml lists more seals than the key serves; the rest are left out");
      break;
    }
    if (auto entry = ParseSeal(seal, folder))
      key.seals.push_back(std::move(*entry));
    else
      Trace("a seal without a name or a readable picture is left out");
  }
  return key;
}

std::optional<SealKey> ReadSealKey(const std::filesystem::path& folder) {
  const auto keyXml = ReadKeyFile(folder / "key.xml", kMaxKeyXmlBytes);
  if (!keyXml) return std::nullopt;
  return ParseSealKey(*keyXml, folder);
}

}  // namespace sealrun::components::sealkey
