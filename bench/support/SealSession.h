#pragma once
// A signing run's state after the user inserted the demo seal key and typed its PIN: the seal key and
// certificate library modules registered and loaded, the PIN accepted (which puts the signer's key into
// the key store), the seal "演示公章" with its picture and record, the signer certificate, and the engine.
// Stamping one file then costs what it costs inside a run.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "external/QpHandles.h"
#include "platform/com/Variant.h"
#include "signing/SealStamp.h"

namespace sealrun::bench {

enum class StampMode { SealAnnotation, SignatureField };

class SealSession {
 public:
  // Points the registry, configuration and key folders at a temporary folder for this process. Null
  // with `failure` saying why when a step fails.
  static std::unique_ptr<SealSession> Create(std::string& failure);
  // Made only by Create.
  class Passkey {
    friend class SealSession;
    Passkey() = default;
  };
  explicit SealSession(Passkey);
  ~SealSession();
  SealSession(const SealSession&) = delete;
  SealSession& operator=(const SealSession&) = delete;

  // The stamping's result: 0 when the file was sealed.
  int Stamp(const std::filesystem::path& file, StampMode mode);
  qp_engine Engine() const { return engine_.get(); }

 private:
  struct Loaded;
  bool Start(std::string& failure);

  std::unique_ptr<Loaded> loaded_;  // modules, folders, user interface: released last
  external::EngineHandle engine_;
  std::vector<std::uint8_t> picture_;
  signing::SealTemplate record_;
  std::vector<std::uint8_t> certificateDer_;
  platform::com::Variant certificateValue_;
  signing::StampInputs annotationInputs_;
  signing::StampInputs fieldInputs_;
};

}  // namespace sealrun::bench
