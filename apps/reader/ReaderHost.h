#pragma once
// The host reader behind the window: the add-in registered and loaded through the component runtime exactly as
// the terminal front end loads it, with every document the window shows open in the host too, so the add-in
// sees the same documents, pages and view the user sees.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "apps/common/Session.h"
#include "platform/host/DocumentCore.h"
#include "platform/host/PageGeometry.h"

namespace sealrun::reader {

class ReaderHost {
 public:
  ReaderHost() = default;
  ReaderHost(const ReaderHost&) = delete;
  ReaderHost& operator=(const ReaderHost&) = delete;

  // Registers what the add-in needs for the user (the add-in and the seal key's components) and starts the
  // host with the add-in loaded. The reason when it did not start: the window then reads files without it.
  std::optional<std::string> Start();
  bool IsRunning() const { return running_; }
  platform::host::HostDriver& Driver() { return session_.Driver(); }

  // Opens a file in the host (it becomes the active document) and returns its pages' displayed sizes in
  // points; nullopt with the engine's reason when the host cannot open it.
  std::optional<std::vector<platform::host::Point>> Open(const std::filesystem::path& path, std::string& problem);
  // Closes it in the host (unsaved changes, such as pre-stamps, are dropped).
  void Close(const std::filesystem::path& path);
  bool Activate(const std::filesystem::path& path);
  // The host's document for a file, or null.
  std::shared_ptr<platform::host::DocumentCore> Document(const std::filesystem::path& path);

  // Something shown to the user once when the host started (a component that could not be registered).
  const std::vector<std::string>& StartNotes() const { return startNotes_; }

 private:
  apps::Session session_;
  bool running_ = false;
  std::vector<std::string> startNotes_;
};

}  // namespace sealrun::reader
