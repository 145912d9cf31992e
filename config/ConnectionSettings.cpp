#include "config/ConnectionSettings.h"

#include "config/ConfigFiles.h"
#include "config/ProductSettings.h"

namespace sealrun::config {

ConnectionSettings ReadConnectionSettings() {
  ConnectionSettings settings;
  settings.sigFilePath = ReadProductSettings(kProductConfigFile, u"").ValueOr(ProductKey::SigFilePath, u"");
  settings.signatureMode =
      ReadProductSettings(kOrtavexConfigFile, kOrtavexConfigFolder).ValueOr(ProductKey::SignatureMode, u"0");
  settings.publicSettings = ReadPublicSettings(kPublicConfigFile);
  return settings;
}

}  // namespace sealrun::config
