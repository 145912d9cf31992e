#pragma once
// The names this system writes into PDF files and reads back from them, each spelled once. Files in the
// field carry them byte for byte, so none may change.

namespace sealrun::verify {

// The seal annotation: its /Subtype (also as the host reader names an annotation's type), the record
// dictionary /Info with /Unicode true, the record version /proVersion and the record stream /BaseInfo
// (its /strLen the record's length), and the signed message /certSignMsg with its certificate /certContext.
inline constexpr char kSealSubtype[] = "Brasmoor:AddSeal";
inline constexpr char16_t kSealSubtypeText[] = u"Brasmoor:AddSeal";
inline constexpr char kSealInfoKey[] = "Info";
inline constexpr char kUnicodeKey[] = "Unicode";
inline constexpr char kRecordVersionKey[] = "proVersion";
inline constexpr int kRecordVersion = 10;
inline constexpr char kRecordStreamKey[] = "BaseInfo";
inline constexpr char kRecordLengthKey[] = "strLen";
inline constexpr char kCertificateKey[] = "certContext";
inline constexpr char kSignedMessageKey[] = "certSignMsg";

// A signature field made by this system is named "Signature<n>" and carries its record as private data.
inline constexpr char16_t kSignatureFieldPrefix[] = u"Signature";
inline constexpr char kFieldRecordKey[] = "QPX";

// The page identifier the document fingerprint reads and, where a page has none, adds.
inline constexpr char kPageIdentifierKey[] = "ID";

}  // namespace sealrun::verify
