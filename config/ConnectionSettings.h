#pragma once
// The settings the add-in takes when it connects to the host, read in this order: the seal image path
// from "BatchPDFConfig.dll", the signature mode from "OrtavexConfig.dll", then the public file.
#include <string>

#include "config/PublicSettings.h"
#include "config/SignatureMode.h"

namespace sealrun::config {

struct ConnectionSettings {
  std::u16string sigFilePath;
  SignatureMode signatureMode;  // the setting's text, "0" when the file does not name it
  PublicSettings publicSettings;
};

ConnectionSettings ReadConnectionSettings();

}  // namespace sealrun::config
