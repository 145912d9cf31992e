#include "platform/com/Registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/com/RegistryTree.h"
#include "platform/fs/DebugTrace.h"
#include "platform/fs/Files.h"
#include "platform/fs/KnownFolders.h"
#include "platform/text/Utf.h"

namespace sealrun::platform::com {
namespace {

enum class View { ClassesRoot, CurrentUser, LocalMachine };
enum class Hive { CurrentUser = 0, LocalMachine = 1 };
using KeyPath = std::vector<std::u16string>;

struct OpenKey {
  View view;
  KeyPath path;  // below the view's root
};

// Identity of a file's content on disk: every atomic replacement makes a new inode.
struct FileSignature {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  int64_t modifiedNs = 0;
  bool operator==(const FileSignature&) const = default;
};

struct HiveFile {
  const char* fileName;
  RegistryNode root;
  bool loaded = false;
  bool corrupt = false;
  FileSignature signature;
};

// Holds an advisory lock on the registry folder so that two processes do not lose each other's changes.
class FolderLock {
 public:
  explicit FolderLock(const std::filesystem::path& dir) {
    fd_ = ::open((dir / ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ >= 0) ::flock(fd_, LOCK_EX);
  }
  ~FolderLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  int fd_ = -1;
};

FileSignature SignatureOf(const std::filesystem::path& file) {
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0) return {};
  return {true, info.st_dev, info.st_ino, info.st_size,
          static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

void Trace(const std::string& line) { fs::DebugTrace(std::string_view("registry: " + line)); }

// Both hives as one operation sees them; the operation marks what it changed.
struct Trees {
  RegistryNode* hives[2];
  bool dirty[2] = {false, false};
  RegistryNode& Of(Hive hive) { return *hives[static_cast<int>(hive)]; }
  void Touch(Hive hive) { dirty[static_cast<int>(hive)] = true; }
};

KeyPath SplitPath(const OLECHAR* subKey) {
  KeyPath path;
  if (subKey == nullptr) return path;
  std::u16string_view rest(subKey);
  while (!rest.empty()) {
    const size_t cut = rest.find(u'\\');
    const std::u16string_view part = rest.substr(0, cut);
    if (!part.empty()) path.emplace_back(part);
    if (cut == std::u16string_view::npos) break;
    rest.remove_prefix(cut + 1);
  }
  return path;
}

RegistryNode* FindNode(RegistryNode& root, const KeyPath& path) {
  RegistryNode* node = &root;
  for (const auto& part : path) {
    auto it = node->children.find(RegistryNameKey(part));
    if (it == node->children.end()) return nullptr;
    node = it->second.get();
  }
  return node;
}

// The key's place in one hive: HKCR keys live under Software\Classes.
KeyPath HivePath(View view, const KeyPath& path) {
  if (view != View::ClassesRoot) return path;
  KeyPath full{u"Software", u"Classes"};
  full.insert(full.end(), path.begin(), path.end());
  return full;
}

struct Located {
  Hive hive;
  RegistryNode* node;
};

// The existing nodes of a key, the one that wins first (the user's classes before the machine's).
std::vector<Located> Locate(Trees& trees, View view, const KeyPath& path) {
  std::vector<Located> found;
  const KeyPath full = HivePath(view, path);
  const auto add = [&](Hive hive) {
    if (RegistryNode* node = FindNode(trees.Of(hive), full)) found.push_back({hive, node});
  };
  if (view != View::LocalMachine) add(Hive::CurrentUser);
  if (view != View::CurrentUser) add(Hive::LocalMachine);
  return found;
}

// Where a new HKCR key goes: beside its nearest existing ancestor when that exists for the user only,
// otherwise the machine's classes, as Windows does.
Hive CreationHive(Trees& trees, View view, const KeyPath& path) {
  if (view == View::CurrentUser) return Hive::CurrentUser;
  if (view == View::LocalMachine) return Hive::LocalMachine;
  for (size_t length = path.size(); length > 0; --length) {
    const KeyPath prefix(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(length));
    const auto found = Locate(trees, view, prefix);
    if (found.empty()) continue;
    const bool machine = std::any_of(found.begin(), found.end(), [](const Located& l) { return l.hive == Hive::LocalMachine; });
    return machine ? Hive::LocalMachine : Hive::CurrentUser;
  }
  return Hive::LocalMachine;
}

RegistryNode* MakeNode(RegistryNode& root, const KeyPath& path) {
  RegistryNode* node = &root;
  for (const auto& part : path) {
    auto& slot = node->children[RegistryNameKey(part)];
    if (!slot) {
      slot = std::make_unique<RegistryNode>();
      slot->name = part;
    }
    node = slot.get();
  }
  return node;
}

bool EraseNode(RegistryNode& root, const KeyPath& path) {
  if (path.empty()) return false;
  KeyPath parentPath(path.begin(), path.end() - 1);
  RegistryNode* parent = FindNode(root, parentPath);
  return parent != nullptr && parent->children.erase(RegistryNameKey(path.back())) > 0;
}

LSTATUS CopyOut(const std::string& data, BYTE* buffer, DWORD* size) {
  const auto needed = static_cast<DWORD>(data.size());
  if (buffer == nullptr) {
    if (size) *size = needed;
    return ERROR_SUCCESS;
  }
  if (size == nullptr) return ERROR_INVALID_PARAMETER;
  if (*size < needed) {
    *size = needed;
    return ERROR_MORE_DATA;
  }
  std::memcpy(buffer, data.data(), data.size());
  *size = needed;
  return ERROR_SUCCESS;
}

LSTATUS CopyName(const std::u16string& name, OLECHAR* buffer, DWORD* length) {
  if (buffer == nullptr || length == nullptr) return ERROR_INVALID_PARAMETER;
  if (*length <= name.size()) return ERROR_MORE_DATA;
  name.copy(buffer, name.size());
  buffer[name.size()] = u'\0';
  *length = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

class Store {
 public:
  static Store& Instance() {
    static Store store;
    return store;
  }

  // Runs `op(trees)` on current copies of both hives and writes back the hives it changed.
  template <typename Op>
  LSTATUS Run(bool write, Op&& op) {
    std::lock_guard lock(mutex_);
    const std::filesystem::path dir = fs::RegistryDir();
    if (dir != dir_) {
      dir_ = dir;
      for (auto& hive : hives_) hive.loaded = false;
    }
    if (write) {
      std::error_code error;
      std::filesystem::create_directories(dir_, error);
      if (!std::filesystem::is_directory(dir_, error)) {
        Trace("cannot create " + dir_.string());
        return ERROR_CANTWRITE;
      }
    }
    // Writers serialise their read-modify-write; readers need no lock, since every file they can see was
    // put in place whole by an atomic rename.
    std::optional<FolderLock> folderLock;
    if (write) folderLock.emplace(dir_);
    for (auto& hive : hives_) Refresh(hive);
    Trees trees{{&hives_[0].root, &hives_[1].root}};
    const LSTATUS status = op(trees);
    LSTATUS saved = ERROR_SUCCESS;
    for (int i = 0; i < 2; ++i)
      if (trees.dirty[i] && !Save(hives_[i])) saved = ERROR_CANTWRITE;
    return status == ERROR_SUCCESS ? saved : status;
  }

  // Handles are valid in the process that opened them; each names a view and a path.
  HKEY AddHandle(OpenKey key) {
    nextHandle_ = nextHandle_ >= 0x7FFFFFF0 ? 0x1000 : nextHandle_ + 4;
    handles_[nextHandle_] = std::move(key);
    return reinterpret_cast<HKEY>(nextHandle_);
  }
  std::optional<OpenKey> Resolve(HKEY key) const {
    if (key == HKEY_CLASSES_ROOT) return OpenKey{View::ClassesRoot, {}};
    if (key == HKEY_CURRENT_USER) return OpenKey{View::CurrentUser, {}};
    if (key == HKEY_LOCAL_MACHINE) return OpenKey{View::LocalMachine, {}};
    auto it = handles_.find(reinterpret_cast<uintptr_t>(key));
    if (it == handles_.end()) return std::nullopt;
    return it->second;
  }
  // Closing touches no file.
  bool RemoveHandle(HKEY key) {
    std::lock_guard lock(mutex_);
    return handles_.erase(reinterpret_cast<uintptr_t>(key)) > 0;
  }

 private:
  std::filesystem::path FileOf(const HiveFile& hive) const { return dir_ / hive.fileName; }

  void Refresh(HiveFile& hive) {
    const auto file = FileOf(hive);
    const FileSignature signature = SignatureOf(file);
    if (hive.loaded && signature == hive.signature) return;
    hive.loaded = true;
    hive.signature = signature;
    hive.corrupt = false;
    hive.root = RegistryNode{};
    if (!signature.exists) return;
    const auto bytes = fs::ReadFile(file);
    if (!bytes) {
      Trace("cannot read " + file.string() + ": " + fs::LastErrorText() + "; read as empty");
      return;
    }
    if (auto parsed = ParseRegistry(*bytes)) {
      hive.root = std::move(*parsed);
    } else {
      hive.corrupt = true;
      Trace(file.string() + " is malformed; read as empty");
    }
  }

  bool Save(HiveFile& hive) {
    const auto file = FileOf(hive);
    if (hive.corrupt) {
      // Keep the unreadable file for inspection instead of silently overwriting it.
      auto keep = file;
      keep += ".corrupt";
      std::error_code error;
      std::filesystem::rename(file, keep, error);
      if (!error) Trace(file.string() + " was malformed; kept as " + keep.string());
      hive.corrupt = false;
    }
    const bool written = fs::ReplaceFileAtomically(file, SerializeRegistry(hive.root));
    if (!written) Trace("cannot write " + file.string() + ": " + fs::LastErrorText());
    // Re-read next time: after a failed write that restores what is on disk.
    hive.loaded = written;
    hive.signature = SignatureOf(file);
    return written;
  }

  std::mutex mutex_;
  std::filesystem::path dir_;
  HiveFile hives_[2] = {{"HKEY_CURRENT_USER.reg", {}, false, false, {}},
                        {"HKEY_LOCAL_MACHINE.reg", {}, false, false, {}}};
  std::map<uintptr_t, OpenKey> handles_;
  uintptr_t nextHandle_ = 0x1000;
};

std::u16string NameOf(const OLECHAR* name) { return name ? std::u16string(name) : std::u16string(); }

}  // namespace

LSTATUS RegOpenKeyEx(HKEY key, const OLECHAR* subKey, DWORD /*options*/, REGSAM /*access*/, HKEY* result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  Store& store = Store::Instance();
  return store.Run(false, [&](Trees& trees) -> LSTATUS {
    auto base = store.Resolve(key);
    if (!base) return ERROR_INVALID_HANDLE;
    for (auto& part : SplitPath(subKey)) base->path.push_back(std::move(part));
    if (!base->path.empty() && Locate(trees, base->view, base->path).empty()) return ERROR_FILE_NOT_FOUND;
    *result = store.AddHandle(std::move(*base));
    return ERROR_SUCCESS;
  });
}

LSTATUS RegCreateKeyEx(HKEY key, const OLECHAR* subKey, DWORD /*reserved*/, OLECHAR* /*keyClass*/, DWORD /*options*/,
                       REGSAM /*access*/, void* /*security*/, HKEY* result, DWORD* disposition) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  Store& store = Store::Instance();
  return store.Run(true, [&](Trees& trees) -> LSTATUS {
    auto base = store.Resolve(key);
    if (!base) return ERROR_INVALID_HANDLE;
    for (auto& part : SplitPath(subKey)) base->path.push_back(std::move(part));
    if (base->path.size() + (base->view == View::ClassesRoot ? 2 : 0) > kMaxRegistryDepth) return ERROR_INVALID_PARAMETER;
    for (const auto& part : base->path)
      if (part.size() > kMaxRegistryKeyName) return ERROR_INVALID_PARAMETER;
    DWORD outcome = REG_OPENED_EXISTING_KEY;
    if (!base->path.empty() && Locate(trees, base->view, base->path).empty()) {
      const Hive hive = CreationHive(trees, base->view, base->path);
      MakeNode(trees.Of(hive), HivePath(base->view, base->path));
      trees.Touch(hive);
      outcome = REG_CREATED_NEW_KEY;
    }
    if (disposition) *disposition = outcome;
    *result = store.AddHandle(std::move(*base));
    return ERROR_SUCCESS;
  });
}

LSTATUS RegCloseKey(HKEY key) {
  if (key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE) return ERROR_SUCCESS;
  return Store::Instance().RemoveHandle(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS RegSetValueEx(HKEY key, const OLECHAR* name, DWORD /*reserved*/, DWORD type, const BYTE* data, DWORD size) {
  if (data == nullptr && size > 0) return ERROR_INVALID_PARAMETER;
  Store& store = Store::Instance();
  return store.Run(true, [&](Trees& trees) -> LSTATUS {
    const auto open = store.Resolve(key);
    if (!open) return ERROR_INVALID_HANDLE;
    auto found = Locate(trees, open->view, open->path);
    if (found.empty()) {
      if (!open->path.empty()) return ERROR_KEY_DELETED;
      // HKCR's own values live in the machine's Software\Classes, which may not exist yet.
      const Hive hive = CreationHive(trees, open->view, open->path);
      found.push_back({hive, MakeNode(trees.Of(hive), HivePath(open->view, open->path))});
    }
    RegistryValue value{NameOf(name), type, std::string(reinterpret_cast<const char*>(data), size)};
    found.front().node->values[RegistryNameKey(value.name)] = std::move(value);
    trees.Touch(found.front().hive);
    return ERROR_SUCCESS;
  });
}

LSTATUS RegQueryValueEx(HKEY key, const OLECHAR* name, DWORD* /*reserved*/, DWORD* type, BYTE* data, DWORD* size) {
  if (data != nullptr && size == nullptr) return ERROR_INVALID_PARAMETER;
  Store& store = Store::Instance();
  return store.Run(false, [&](Trees& trees) -> LSTATUS {
    const auto open = store.Resolve(key);
    if (!open) return ERROR_INVALID_HANDLE;
    const auto found = Locate(trees, open->view, open->path);
    if (found.empty() && !open->path.empty()) return ERROR_KEY_DELETED;
    const std::u16string wanted = RegistryNameKey(NameOf(name));
    for (const auto& [hive, node] : found) {
      auto it = node->values.find(wanted);
      if (it == node->values.end()) continue;
      if (type) *type = it->second.type;
      return CopyOut(it->second.data, data, size);
    }
    return ERROR_FILE_NOT_FOUND;
  });
}

LSTATUS RegDeleteValue(HKEY key, const OLECHAR* name) {
  Store& store = Store::Instance();
  return store.Run(true, [&](Trees& trees) -> LSTATUS {
    const auto open = store.Resolve(key);
    if (!open) return ERROR_INVALID_HANDLE;
    const std::u16string wanted = RegistryNameKey(NameOf(name));
    for (const auto& [hive, node] : Locate(trees, open->view, open->path)) {
      if (node->values.erase(wanted) > 0) {
        trees.Touch(hive);
        return ERROR_SUCCESS;
      }
    }
    return ERROR_FILE_NOT_FOUND;
  });
}

LSTATUS RegDeleteKey(HKEY key, const OLECHAR* subKey) {
  if (subKey == nullptr || *subKey == u'\0') return ERROR_INVALID_PARAMETER;
  Store& store = Store::Instance();
  return store.Run(true, [&](Trees& trees) -> LSTATUS {
    auto open = store.Resolve(key);
    if (!open) return ERROR_INVALID_HANDLE;
    for (auto& part : SplitPath(subKey)) open->path.push_back(std::move(part));
    if (open->path.empty()) return ERROR_ACCESS_DENIED;
    const auto found = Locate(trees, open->view, open->path);
    if (found.empty()) return ERROR_FILE_NOT_FOUND;
    for (const auto& located : found)
      if (!located.node->children.empty()) return ERROR_ACCESS_DENIED;
    EraseNode(trees.Of(found.front().hive), HivePath(open->view, open->path));
    trees.Touch(found.front().hive);
    return ERROR_SUCCESS;
  });
}

LSTATUS RegDeleteTree(HKEY key, const OLECHAR* subKey) {
  Store& store = Store::Instance();
  return store.Run(true, [&](Trees& trees) -> LSTATUS {
    auto open = store.Resolve(key);
    if (!open) return ERROR_INVALID_HANDLE;
    const bool wholeKey = subKey != nullptr && *subKey != u'\0';
    for (auto& part : SplitPath(subKey)) open->path.push_back(std::move(part));
    const auto found = Locate(trees, open->view, open->path);
    if (found.empty()) return wholeKey ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
    for (const auto& [hive, node] : found) {
      if (wholeKey) {
        EraseNode(trees.Of(hive), HivePath(open->view, open->path));
      } else {
        node->values.clear();
        node->children.clear();
      }
      trees.Touch(hive);
    }
    return ERROR_SUCCESS;
  });
}

LSTATUS RegEnumKeyEx(HKEY key, DWORD index, OLECHAR* name, DWORD* nameLength, DWORD* /*reserved*/,
                     OLECHAR* /*keyClass*/, DWORD* /*classLength*/, FILETIME* lastWrite) {
  Store& store = Store::Instance();
  return store.Run(false, [&](Trees& trees) -> LSTATUS {
    const auto open = store.Resolve(key);
    if (!open) return ERROR_INVALID_HANDLE;
    std::map<std::u16string, std::u16string> names;
    for (const auto& [hive, node] : Locate(trees, open->view, open->path))
      for (const auto& [lower, child] : node->children) names.emplace(lower, child->name);
    if (index >= names.size()) return ERROR_NO_MORE_ITEMS;
    if (lastWrite) *lastWrite = FILETIME{};
    return CopyName(std::next(names.begin(), index)->second, name, nameLength);
  });
}

LSTATUS RegEnumValue(HKEY key, DWORD index, OLECHAR* name, DWORD* nameLength, DWORD* /*reserved*/, DWORD* type,
                     BYTE* data, DWORD* size) {
  Store& store = Store::Instance();
  return store.Run(false, [&](Trees& trees) -> LSTATUS {
    const auto open = store.Resolve(key);
    if (!open) return ERROR_INVALID_HANDLE;
    std::map<std::u16string, const RegistryValue*> values;
    for (const auto& [hive, node] : Locate(trees, open->view, open->path))
      for (const auto& [lower, value] : node->values) values.emplace(lower, &value);
    if (index >= values.size()) return ERROR_NO_MORE_ITEMS;
    const RegistryValue& value = *std::next(values.begin(), index)->second;
    if (const LSTATUS status = CopyName(value.name, name, nameLength); status != ERROR_SUCCESS) return status;
    if (type) *type = value.type;
    if (data == nullptr && size == nullptr) return ERROR_SUCCESS;
    return CopyOut(value.data, data, size);
  });
}

LSTATUS RegQueryInfoKey(HKEY key, DWORD* subKeys, DWORD* values) {
  Store& store = Store::Instance();
  return store.Run(false, [&](Trees& trees) -> LSTATUS {
    const auto open = store.Resolve(key);
    if (!open) return ERROR_INVALID_HANDLE;
    std::map<std::u16string, int> keyNames;
    std::map<std::u16string, int> valueNames;
    const auto found = Locate(trees, open->view, open->path);
    if (found.empty() && !open->path.empty()) return ERROR_KEY_DELETED;
    for (const auto& [hive, node] : found) {
      for (const auto& entry : node->children) keyNames.emplace(entry.first, 0);
      for (const auto& entry : node->values) valueNames.emplace(entry.first, 0);
    }
    if (subKeys) *subKeys = static_cast<DWORD>(keyNames.size());
    if (values) *values = static_cast<DWORD>(valueNames.size());
    return ERROR_SUCCESS;
  });
}

}  // namespace sealrun::platform::com
