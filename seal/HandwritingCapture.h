#pragma once
// The handwritten signature of the signing dialog ("手写签名"): the handwriting component is configured with
// the pen and font settings of "OrtavexConfig.dll", shows its writing window, and hands back the written
// picture and the PIN typed there. The picture goes into the dialog's handwriting picture stream; the
// settings the user changed are stored back for the next capture.
#include <cstdint>
#include <string>
#include <vector>

namespace sealrun::seal {

inline constexpr char16_t kHandwritingSection[] = u"HANDWRITE";
// What the user is told when a capture could not be used.
inline constexpr char16_t kHandwritingUnavailableMessage[] = u"手写签名组件无法使用，请检查安装。";
inline constexpr char16_t kHandwritingUnreadableMessage[] = u"手写签名图片无法识别，请重新签名。";

enum class HandwritingOutcome {
  Captured,            // the picture is taken; the PIN may still be empty
  NothingWritten,      // the window was closed without a signature: nothing changed
  NoComponent,         // the component cannot be created: nothing changed (the user was told)
  UnreadablePicture,   // the signature does not decode as a picture: nothing changed (the user was told)
};

struct HandwritingResult {
  HandwritingOutcome outcome = HandwritingOutcome::NothingWritten;
  std::u16string pin;             // the PIN typed in the writing window; empty unless captured
  bool settingsStored = false;    // every setting was stored back into "OrtavexConfig.dll"
};

struct HandwritingRequest {
  std::u16string keySerial;   // the key serial number of the signing dialog
  int32_t languageId = 2052;  // the host's user-interface language identifier
};

// Runs one capture. On success `picture` holds exactly the written picture's encoded bytes (a longer
// earlier one leaves nothing behind) and `handwritten` is set; otherwise neither is touched.
HandwritingResult CaptureHandwriting(const HandwritingRequest& request, std::vector<uint8_t>& picture,
                                     bool& handwritten);

}  // namespace sealrun::seal
