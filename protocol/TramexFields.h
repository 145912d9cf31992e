#pragma once
// The field names and fixed values of the TRAMEX requests and answers, shared by the client and the server.
#include <string_view>

namespace sealrun::protocol {

inline constexpr std::u16string_view kFieldTramex = u"TRAMEX";
inline constexpr std::u16string_view kFieldOption = u"OPTION";
inline constexpr std::u16string_view kFieldCommand = u"COMMAND";
inline constexpr std::u16string_view kFieldKeySerial = u"KEYSN";
inline constexpr std::u16string_view kFieldSealSerial = u"SIGNSN";
inline constexpr std::u16string_view kFieldCertText = u"CERTTEXT";
inline constexpr std::u16string_view kFieldRequestNumber = u"CN";
inline constexpr std::u16string_view kFieldSignedData = u"SIGNEDDATA";
inline constexpr std::u16string_view kFieldCertContext = u"CERTCONTEXT";
inline constexpr std::u16string_view kFieldStatus = u"STATUS";
inline constexpr std::u16string_view kFieldSignResult = u"SIGNRESULT";

inline constexpr std::u16string_view kTramexValue = u"TRAMEX";
inline constexpr std::u16string_view kOptionSignContext = u"SIGNCONTEXT";
inline constexpr std::u16string_view kCommandVerifySignature = u"VERIFYSIGNATURE";
inline constexpr std::u16string_view kStatusOk = u"OK";

// The verification request's key serial and its fixed seal serial text: a permutation of the 64 Base64
// symbols and the pad. Servers built for this system recognise the verification request by them.
inline constexpr std::u16string_view kVerifyKeySerial = u"ZQ001";
inline constexpr std::u16string_view kVerifySealSerial =
    u"H3SP9z7vn/E+XG2g8df4RFjJyQZuBhkwcObiVaIr1WNl0t5x6UMCKAoYemqTLspD=";
static_assert(kVerifySealSerial.size() == 65);

}  // namespace sealrun::protocol
