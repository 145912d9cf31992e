#pragma once
// The settings the add-in takes when it connects to the host, read in this order: the seal image path
// from "BatchPDFConfig.dll", the signature mode from "OrtavexConfig.dll", then the public file.
#include <string>

#include "config/PublicSettings.h"

namespace sealrun::config {

struct ConnectionSettings {
  std::u16string sigFilePath;
  std::u16string signatureMode = u"0";  // exactly "1" selects signature fields
  PublicSettings publicSettings;
};

ConnectionSettings ReadConnectionSettings();

}  // namespace sealrun::config
