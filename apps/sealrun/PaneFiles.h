#pragma once
// The add-in's pane as the front end uses it: its file list, and files added through its add-files
// dialog as a user picks them.
#include <filesystem>
#include <vector>

#include "platform/host/HostDriver.h"
#include "platform/ui/HeadlessBackend.h"
#include "platform/ui/ListView.h"

namespace sealrun::apps {

// The pane's caption, which the reader's driver finds it by.
inline constexpr char16_t kPaneName[] = u"Sealrun";

// The pane's file list; null when the pane is not open.
platform::ui::ListView* PaneList(platform::host::HostDriver& driver);

// Adds the files in the given order through the add-files dialog, answered by `user`; false when the
// pane refused a pick or its list does not hold exactly these files afterwards.
bool AddFilesToPane(platform::host::HostDriver& driver, platform::ui::HeadlessBackend& user,
                    const std::vector<std::filesystem::path>& files);

}  // namespace sealrun::apps
