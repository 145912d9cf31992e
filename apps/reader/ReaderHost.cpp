#include "apps/reader/ReaderHost.h"

#include "apps/common/Components.h"
#include "platform/fs/Paths.h"
#include "platform/host/DocumentObjects.h"

namespace sealrun::reader {

namespace host = platform::host;

std::optional<std::string> ReaderHost::Start() {
  if (running_) return std::nullopt;
  // The seal key's components are registered as their own installation would; one that cannot be is noted
  // (signing then refuses with its own message) and the reader goes on.
  for (const char16_t* progId : {apps::kKeyObjectProgId, apps::kCertLibraryProgId, apps::kHandwritingProgId}) {
    if (auto refusal = apps::EnsureComponentRegistered(progId)) startNotes_.push_back(refusal->message);
  }
  if (auto refusal = session_.Start()) return refusal->message;
  running_ = true;
  return std::nullopt;
}

std::optional<std::vector<host::Point>> ReaderHost::Open(const std::filesystem::path& path, std::string& problem) {
  if (!running_) {
    problem = "the host is not running";
    return std::nullopt;
  }
  const std::u16string name = platform::fs::PathToUtf16(path);
  if (!Driver().ActivateDocument(name)) {
    if (const platform::com::HRESULT hr = Driver().OpenDocument(name); platform::com::FAILED(hr)) {
      problem = "the file cannot be opened (not a PDF file the engine can open)";
      return std::nullopt;
    }
  }
  const auto document = Document(path);
  if (!document) {
    problem = "the file cannot be opened";
    return std::nullopt;
  }
  std::vector<host::Point> sizes;
  sizes.reserve(static_cast<size_t>(document->PageCount()));
  for (int i = 0; i < document->PageCount(); ++i) {
    const host::PageGeometry* geometry = document->Geometry(i);
    sizes.push_back(geometry ? host::Point{geometry->Width(), geometry->Height()} : host::Point{});
  }
  return sizes;
}

void ReaderHost::Close(const std::filesystem::path& path) {
  if (running_) Driver().Host().CloseDocument(platform::fs::PathToUtf16(path));
}

bool ReaderHost::Activate(const std::filesystem::path& path) {
  return running_ && Driver().ActivateDocument(platform::fs::PathToUtf16(path));
}

std::shared_ptr<host::DocumentCore> ReaderHost::Document(const std::filesystem::path& path) {
  if (!running_) return nullptr;
  const std::u16string name = platform::fs::PathToUtf16(path);
  for (const auto& document : Driver().Host().State().documents) {
    if (document && document->Core() && document->Core()->IsOpen() && document->Core()->Path() == name)
      return document->Core();
  }
  return nullptr;
}

}  // namespace sealrun::reader
