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
// else why not (its Code() is a kOnline* number or the engine's result). The document's saves must be staged:
// the engine's first save writes a placeholder signature, which only the merge completes.
StampResult SignOnline(qp_signature signature, const OnlineSigningRequest& request, protocol::PacketTransport& transport,
               OnlineSigningTrace* trace = nullptr);

// The signer StampInputs.signOnline takes. The transport (the process's HTTP transport when null) must
// outlive the signer.
OnlineSigner MakeOnlineSigner(OnlineSigningRequest request, protocol::PacketTransport* transport = nullptr);

// Runs the signer with the document's saves staged (qp_document_set_staged) and puts the copy in place of the
// file only when the signer succeeded: a refused or failed signing, or a run killed meanwhile, leaves the file
// as it was. (The signing run itself checks the new seal in the copy before it commits, SavedCopyCheck.h.)
StampResult SignOnlineAndCommit(const OnlineSigner& signer, qp_document document, qp_signature signature);

}  // namespace sealrun::signing
