#include "components/sealkey/RememberedPin.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/crypto.h>

#include <charconv>
#include <cstdio>
#include <system_error>
#include <vector>

#include "components/sealkey/PinCheck.h"
#include "components/sealkey/PinSealing.h"
#include "components/sealkey/SealKeyFolder.h"
#include "platform/fs/KnownFolders.h"
#include "platform/text/Utf.h"

namespace sealrun::components::sealkey {
namespace {

constexpr uintmax_t kMaxStoreBytes = 1u << 16;
// Nonce and tag: no encrypted entry is shorter, every PIN kept in clear by earlier versions of the store is.
constexpr size_t kShortestSealedHex = 2 * (12 + 16);

std::string ToHex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    hex.push_back(kDigits[byte >> 4]);
    hex.push_back(kDigits[byte & 0x0F]);
  }
  return hex;
}

std::optional<std::string> FromHex(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string bytes(hex.size() / 2, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) {
    unsigned value = 0;
    const char* first = hex.data() + 2 * i;
    const auto [end, error] = std::from_chars(first, first + 2, value, 16);
    if (error != std::errc() || end != first + 2) return std::nullopt;
    bytes[i] = static_cast<char>(value);
  }
  return bytes;
}

struct Entry {
  std::string serialHex;
  std::string pinHex;
};

// The entries of the file; a damaged line is dropped, a missing file is empty.
std::vector<Entry> ReadEntries(const std::filesystem::path& file) {
  std::vector<Entry> entries;
  auto bytes = ReadKeyFile(file, kMaxStoreBytes);
  if (!bytes) return entries;
  std::string_view rest = *bytes;
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    const size_t space = line.find(' ');
    if (space == std::string_view::npos || line.size() - space - 1 < kShortestSealedHex) continue;
    entries.push_back({std::string(line.substr(0, space)), std::string(line.substr(space + 1))});
  }
  WipeSecret(*bytes);
  return entries;
}

// Writes the file through a private temporary beside it, so a reader sees the old entries or the new,
// and the PIN is never readable by others, not even for a moment.
bool WriteEntries(const std::filesystem::path& file, std::vector<Entry>& entries) {
  std::error_code error;
  std::filesystem::create_directories(file.parent_path(), error);
  std::string content;
  for (const Entry& entry : entries) content += entry.serialHex + ' ' + entry.pinHex + '\n';
  std::string temp = file.string() + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  bool ok = fd >= 0;
  if (ok) {
    ok = fchmod(fd, S_IRUSR | S_IWUSR) == 0;
    size_t written = 0;
    while (ok && written < content.size()) {
      const ssize_t n = write(fd, content.data() + written, content.size() - written);
      if (n < 0) ok = false;
      else written += static_cast<size_t>(n);
    }
    ok = ok && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && std::rename(temp.c_str(), file.c_str()) == 0;
    if (!ok) std::remove(temp.c_str());
  }
  WipeSecret(content);
  for (Entry& entry : entries) WipeSecret(entry.pinHex);
  return ok;
}

std::string SerialHex(std::u16string_view serial) { return ToHex(platform::text::Utf16ToUtf8(serial)); }

}  // namespace

RememberedPinStore RememberedPinStore::ForCurrentUser(std::filesystem::path keyFolder) {
  return RememberedPinStore(platform::fs::AppDataDir() / "sealrun" / "remembered-pin", std::move(keyFolder));
}

std::optional<std::u16string> RememberedPinStore::Read(std::u16string_view serial) const {
  if (serial.empty()) return std::nullopt;
  const std::string key = SerialHex(serial);
  std::vector<Entry> entries = ReadEntries(file_);
  std::optional<std::u16string> pin;
  for (Entry& entry : entries) {
    if (!pin && entry.serialHex == key) {
      auto storeKey = StoreKey(keyFolder_, false);
      auto sealed = FromHex(entry.pinHex);
      if (storeKey && sealed) {
        if (auto utf8 = OpenPin(*storeKey, key, std::vector<uint8_t>(sealed->begin(), sealed->end()))) {
          pin = platform::text::Utf8ToUtf16(*utf8);
          WipeSecret(*utf8);
        }
      }
      if (storeKey) OPENSSL_cleanse(storeKey->data(), storeKey->size());
    }
    WipeSecret(entry.pinHex);
  }
  return pin;
}

bool RememberedPinStore::Write(std::u16string_view serial, std::u16string_view pin) const {
  if (serial.empty()) return false;
  const std::string key = SerialHex(serial);
  auto storeKey = StoreKey(keyFolder_, true);
  if (!storeKey) return false;
  std::vector<Entry> entries = ReadEntries(file_);
  std::erase_if(entries, [&](Entry& entry) {
    if (entry.serialHex != key) return false;
    WipeSecret(entry.pinHex);
    return true;
  });
  std::string utf8 = platform::text::Utf16ToUtf8(pin);
  const auto sealed = SealPin(*storeKey, key, utf8);
  WipeSecret(utf8);
  OPENSSL_cleanse(storeKey->data(), storeKey->size());
  if (!sealed) return false;
  entries.push_back({key, ToHex(std::string_view(reinterpret_cast<const char*>(sealed->data()), sealed->size()))});
  return WriteEntries(file_, entries);
}

bool RememberedPinStore::Remove(std::u16string_view serial) const {
  if (serial.empty()) return true;
  const std::string key = SerialHex(serial);
  std::vector<Entry> entries = ReadEntries(file_);
  const size_t before = entries.size();
  std::erase_if(entries, [&](Entry& entry) {
    if (entry.serialHex != key) return false;
    WipeSecret(entry.pinHex);
    return true;
  });
  if (entries.size() == before) return true;
  if (entries.empty()) {
    std::error_code error;
    std::filesystem::remove(file_, error);
    return !error;
  }
  return WriteEntries(file_, entries);
}

}  // namespace sealrun::components::sealkey
