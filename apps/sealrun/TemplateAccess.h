#pragma once
// The add-in's own read-back of pre-stamps, run against the front end's host.
#include <string>
#include <vector>

#include "addin/SealTemplate.h"
#include "platform/host/HostDriver.h"

namespace sealrun::apps {

// The pre-stamps of the active document, or nullopt when no document is open.
std::optional<std::vector<addin::SealTemplate>> ReadTemplates(platform::host::HostDriver& driver);
// The active document's page count (0 without a document).
int ActivePageCount(platform::host::HostDriver& driver);

// One record as a line: its fields in order, separated by tabs, numbers in their shortest exact form.
std::string FormatTemplate(const addin::SealTemplate& record);

}  // namespace sealrun::apps
