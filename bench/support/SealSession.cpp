#include "bench/support/SealSession.h"

#include <dlfcn.h>
#include <stdlib.h>

#include <system_error>

#include "bench/support/TempFolder.h"
#include "platform/com/ServerModule.h"
#include "platform/imaging/ImageCodec.h"
#include "platform/net/LocalAddress.h"
#include "platform/text/Utf.h"
#include "platform/ui/Backend.h"
#include "platform/ui/HeadlessBackend.h"
#include "seal/AutomationValues.h"
#include "seal/KeyPin.h"
#include "seal/SealCatalogue.h"
#include "seal/SealMessage.h"
#include "seal/SignerCertificate.h"
#include "signing/Placement.h"
#include "signing/PlacementCorners.h"

namespace sealrun::bench {

namespace fs = std::filesystem;

namespace {

constexpr char16_t kPin[] = u"123456";
constexpr char16_t kSealName[] = u"演示公章";
constexpr char16_t kProvider[] = u"Sealrun Soft Key CSP";

struct ModuleClose {
  void operator()(void* module) const { dlclose(module); }
};
using ModuleHandle = std::unique_ptr<void, ModuleClose>;

bool CopyDemoKey(const fs::path& key) {
  const fs::path demo = SEALRUN_BENCH_DEMO_KEY;
  std::error_code error;
  fs::create_directories(key / "seals", error);
  for (const char* file : {"key.xml", "signer.pem", "signer.p12", "ZQ_Root.cer", "ZQ_Crl.crl"})
    if (!error) fs::copy_file(demo / file, key / file, error);
  for (const auto& picture : fs::directory_iterator(demo / "seals", error))
    if (!error) fs::copy_file(picture.path(), key / "seals" / picture.path().filename(), error);
  return !error;
}

}  // namespace

struct SealSession::Loaded {
  TempFolder folder{"sealrun-bench-key"};
  std::vector<ModuleHandle> modules;
  platform::ui::ScopedBackend backend{std::make_unique<platform::ui::HeadlessBackend>()};
};

SealSession::SealSession(Passkey) {}

SealSession::~SealSession() {
  // Certificate values and the engine go before the modules that made them.
  certificateValue_ = platform::com::Variant();
  engine_.reset();
}

std::unique_ptr<SealSession> SealSession::Create(std::string& failure) {
  auto session = std::make_unique<SealSession>(Passkey());
  if (!session->Start(failure)) return nullptr;
  return session;
}

bool SealSession::Start(std::string& failure) {
#if defined(SEALRUN_BENCH_SEALKEY_MODULE) && defined(SEALRUN_BENCH_CERTLIB_MODULE)
  loaded_ = std::make_unique<Loaded>();
  const fs::path& root = loaded_->folder.Path();
  if (root.empty()) return failure = "no temporary folder", false;
  // This process's own registry and key, so nothing of the user's is read or changed.
  setenv("SEALRUN_REGISTRY", (root / "registry").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
  setenv("SEALRUN_KEY", (root / "key").c_str(), 1);
  setenv("SEALRUN_MODULE_DIR", (root / "key").c_str(), 1);
  if (!CopyDemoKey(root / "key")) return failure = "the demo key could not be copied", false;
  for (const char* path : {SEALRUN_BENCH_SEALKEY_MODULE, SEALRUN_BENCH_CERTLIB_MODULE}) {
    ModuleHandle module(dlopen(path, RTLD_NOW | RTLD_LOCAL));
    if (!module) return failure = std::string("module does not load: ") + dlerror(), false;
    const auto install = reinterpret_cast<platform::com::DllInstallFunction>(dlsym(module.get(), "DllInstall"));
    if (install == nullptr || install(1, u"user") != platform::com::S_OK)
      return failure = std::string("module does not register: ") + path, false;
    loaded_->modules.push_back(std::move(module));
  }
#else
  return failure = "the seal key and certificate library modules are not built", false;
#endif

  if (seal::VerifyKeyPin(kPin) != 0) return failure = "the demo key refuses its PIN", false;
  seal::SealCatalogue catalogue;
  if (!catalogue.LoadSealCatalogue([](int, const std::u16string&) {}))
    return failure = "the demo key lists no seal", false;
  const int recordIndex = catalogue.FindSealRecord(kSealName);
  const auto pictureBytes = catalogue.PictureBytes(catalogue.FindSealPicture(kSealName));
  if (recordIndex < 0 || pictureBytes.empty()) return failure = "the demo key has no official seal", false;
  picture_.assign(pictureBytes.begin(), pictureBytes.end());
  const auto decoded = platform::imaging::DecodeImage(picture_);
  if (!decoded) return failure = "the seal picture does not decode", false;
  const auto certificate = seal::GetSignerCertificate(u"", kProvider);
  if (!certificate) return failure = "the certificate library gives no signer certificate", false;
  certificateDer_ = certificate->Der();
  engine_ = external::StartEngine();
  if (!engine_) return failure = "the engine does not start", false;

  // The template: the seal 30 points from the right and 40 from the bottom of an A4 first page.
  const double width = signing::PixelsToPoints(decoded->Width());
  const double height = signing::PixelsToPoints(decoded->Height());
  record_.pageWidth = 595;
  record_.pageHeight = 842;
  record_.left = record_.pageWidth - 30 - width;
  record_.top = record_.pageHeight - 40 - height;
  record_.right = record_.left + width;
  record_.bottom = record_.top + height;
  record_.name = u"bottom right";
  signing::ComputeCornerOffsets(record_);

  const seal::SealRecord& sealRecord = catalogue.Records()[static_cast<size_t>(recordIndex)];
  signing::StampInputs inputs;
  inputs.engine = engine_.get();
  inputs.image = picture_;
  inputs.placement.selectedTemplate = &record_;
  inputs.placement.stampWidth = decoded->Width();
  inputs.placement.stampHeight = decoded->Height();
  inputs.seal = signing::SealRecordFields{sealRecord.SignName, sealRecord.UnitName, sealRecord.UserName,
                                          sealRecord.SerialNumber};
  inputs.keySerial = catalogue.KeySerial();
  inputs.ipAddress = platform::text::Widen(platform::net::LocalIPv4Address());

  annotationInputs_ = inputs;
  annotationInputs_.signatureMode = config::SignatureMode(u"0");
  annotationInputs_.signSealMessage = [this, keySerial = inputs.keySerial, sealSerial = sealRecord.SerialNumber](
                                          std::u16string_view fingerprint, std::u16string_view pin,
                                          std::u16string& certificateText) {
    std::optional<std::u16string> message =
        seal::SignSealMessage(fingerprint, pin, certificateValue_, keySerial, sealSerial, u"");
    certificateText = seal::TextOf(certificateValue_);
    return message;
  };
  fieldInputs_ = inputs;
  fieldInputs_.signatureMode = config::SignatureMode(u"1");
  fieldInputs_.certificate = certificateDer_;
  fieldInputs_.signerName = seal::SignerDisplayName(*certificate);
  return true;
}

int SealSession::Stamp(const fs::path& file, StampMode mode) {
  const signing::StampResult result = mode == StampMode::SealAnnotation
                                          ? signing::StampSealAnnotation(annotationInputs_, file.u16string(), kPin)
                                          : signing::StampSignatureField(fieldInputs_, file.u16string(), kPin);
  return result.Code();
}

}  // namespace sealrun::bench
