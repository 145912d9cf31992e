#pragma once
// Server-made signatures for signature fields: the engine saves the document with room reserved, the
// signing callback hashes the signed byte ranges (SHA-1) and wraps the digest in DER signed attributes, a
// TRAMEX server signs those, and the CMS SignedData built from its answer is merged into the room.
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "external/qp.h"
#include "protocol/PacketTransport.h"
#include "signing/SealStamp.h"

namespace sealrun::signing {

// "hash,sha1,len,8192": the signature length L asked of the engine.
inline constexpr std::u16string_view kOnlineSigningOptions = u"hash,sha1,len,8192";

// L from an options text of exactly four comma-separated parts whose third is "len" (any case); 0 otherwise.
int SignatureLengthFromOptions(std::u16string_view options);

// The room to reserve: L + 4192 (12384 when L is 0) when reserveFlag is nonzero, else L (8192 when L is 0).
std::size_t SignatureReserveSize(int reserveFlag, int signatureLength);

// The request number "CN": four or more digits of the runtime's generator seeded with the milliseconds since
// boot, then the local time as "%Y%m%d%H%M%S".
std::u16string MakeRequestNumber();

// What a signing needs besides the document.
struct OnlineSigningRequest {
  std::u16string webUrl;      // the `WebUrl` setting
  std::u16string keySerial;   // the seal key's serial ("KEYSN")
  std::u16string sealSerial;  // the selected seal's serial ("SIGNSN")
};

// What SignOnline did, for traces and tests.
struct OnlineSigningTrace {
  std::string attributesText;   // standard Base64 of the DER signed attributes
  std::u16string status;        // STATUS of the signing answer
  bool verificationSent = false;
};

// Signs the new signature field's signature object on the server and merges the result. Ok when merged,
// else why not (its Code() is a kOnline* number or the engine's result). On failure after the engine's save
// the file holds a placeholder signature: the caller takes it back out with OnlineSigningRollback.
StampResult SignOnline(qp_signature signature, const OnlineSigningRequest& request, protocol::PacketTransport& transport,
               OnlineSigningTrace* trace = nullptr);

// The signer StampInputs.signOnline takes. The transport (the process's HTTP transport when null) must
// outlive the signer.
OnlineSigner MakeOnlineSigner(OnlineSigningRequest request, protocol::PacketTransport* transport = nullptr);

// A file's state before an online signing, so that a refused signing leaves no broken signature behind. The
// engine only ever appends one update to the file, so the original is the file's prefix: Restore writes that
// prefix back atomically when it is still intact.
class OnlineSigningRollback {
 public:
  // nullopt when the file cannot be read.
  static std::optional<OnlineSigningRollback> Capture(const std::filesystem::path& path);

  enum class Outcome { Unchanged, Restored, Failed };
  // Unchanged when the file is still as captured; Restored when the appended update was removed; Failed when
  // the file cannot be read or written or its beginning is no longer the original (then it is left alone).
  Outcome Restore() const;

 private:
  OnlineSigningRollback(std::filesystem::path path, std::uintmax_t size, std::array<std::uint8_t, 20> digest)
      : path_(std::move(path)), size_(size), digest_(digest) {}
  std::filesystem::path path_;
  std::uintmax_t size_ = 0;
  std::array<std::uint8_t, 20> digest_{};
};

// Runs the signer on the signature and, when it fails, restores the file at path to its state before. Call
// it in place of the signer where the document's path is known.
StampResult SignOnlineWithRollback(const OnlineSigner& signer, qp_signature signature, std::u16string_view path);

}  // namespace sealrun::signing
