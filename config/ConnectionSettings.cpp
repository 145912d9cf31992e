#include "config/ConnectionSettings.h"

#include "config/ConfigFiles.h"
#include "config/ProductSettings.h"

namespace sealrun::config {

ConnectionSettings ReadConnectionSettings() {
  ConnectionSettings settings;
  settings.sigFilePath = ReadProductSettings(kProductConfigFile, u"").ValueOr(ProductKey::SigFilePath, u"");
  const ProductSettings ortavex = ReadProductSettings(kOrtavexConfigFile, kOrtavexConfigFolder);
  settings.signatureMode = SignatureMode(ortavex.ValueOr(ProductKey::SignatureMode, kSignatureModeWhenAbsent));
  settings.publicSettings = ReadPublicSettings(kPublicConfigFile);
  return settings;
}

}  // namespace sealrun::config
