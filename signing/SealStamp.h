#pragma once
// Stamping one document of a batch: the seal annotation ("Brasmoor:AddSeal" with its /Info record) or a new
// signature field "Signature%d" signed by the engine (or by the signing server through a hook). The batch
// run fills StampInputs once per run from the signing dialog and calls one operation per file.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "config/SignatureMode.h"
#include "external/QpHandles.h"
#include "signing/DocumentPermission.h"
#include "signing/Placement.h"
#include "signing/SignatureInfo.h"
#include "signing/StampResult.h"

namespace sealrun::signing {

// Signs a signature field's signature object on a signing server; the document was opened and the field
// prepared by StampSignatureField. Ok when merged, else why not.
using OnlineSigner = std::function<StampResult(qp_signature signature)>;

// Asks the certificate library for a signed message over the fingerprint. Returns the message text (empty:
// no message) and fills certificateText with the library's certificate value.
// What a seal annotation holds, for readers: /Info /BaseInfo is stored as given (no filter): the encoded
// record's bytes and a terminating zero, /strLen the record's length without it. /certContext and
// /certSignMsg (only with a non-empty message) are the UTF-16LE bytes of the certificate value and the
// message, no terminator, compressed by the engine: their /Filter /FlateDecode is real, so read them
// decoded (qp_cos_stream_to_buffer).
// The signer answers the message text, empty when the key has no signer (the seal then carries none), or
// nullopt when the key's signer did not sign (a token pulled out, say): the file then fails.
using SealMessageSigner = std::function<std::optional<std::u16string>(
    std::u16string_view fingerprint, std::u16string_view pin, std::u16string& certificateText)>;

// What every file of one run is stamped with.
struct StampInputs {
  qp_engine engine = nullptr;
  std::span<const std::uint8_t> image;  // the stamping image: PNG, BMP, GIF or JPEG bytes
  bool handwritten = false;             // SignatureType 5 instead of 1
  PlacementSettings placement;
  // Record fields (the fingerprint is computed per document).
  std::optional<SealRecordFields> seal;  // the seal chosen in the dialog; nullopt: no such record
  std::u16string keySerial;
  std::u16string ipAddress;
  config::SignatureMode signatureMode;  // the record's protection lines follow it
  // Seal annotations: the signed message over the fingerprint; empty function: none.
  SealMessageSigner signSealMessage;
  // Signature fields, engine-made: the signer certificate (DER) with its private key in the key store.
  std::span<const std::uint8_t> certificate;
  std::u16string signerName;
  // Signature fields, server-made: set when DigitalSignOnline is on; the certificate is then not used.
  OnlineSigner signOnline;
};

// The record last written by a stamping (for the dialog, which keeps it).
struct StampRecord {
  std::u16string text;
  int32_t pageIndex = -1;
};

// The engine image of an encoded picture; null when the picture does not decode.
external::ImageHandle MakeImageHandle(std::span<const std::uint8_t> imageBytes, qp_document document);

// Ok when sealed, else why not (its Code() is the engine's result or one of the kStamp* and kOnline*
// numbers). The file is changed only by one appended revision; on every failure it is left byte-identical.
StampResult StampSealAnnotation(const StampInputs& inputs, std::u16string_view path, std::u16string_view pin,
                                StampRecord* written = nullptr);
StampResult StampSignatureField(const StampInputs& inputs, std::u16string_view path, std::u16string_view pin,
                                StampRecord* written = nullptr);

}  // namespace sealrun::signing
