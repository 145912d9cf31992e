#pragma once
// The PIN check when the user starts a batch signing run from the signing dialog.
#include <string_view>

namespace sealrun::seal {

inline constexpr char16_t kWrongPinMessage[] = u"密码错误，请重新输入!";
inline constexpr char16_t kKeyLockedMessage[] =
    u"密码连续错误次数过多，印章密钥已锁定!\n请用解锁码解锁印章密钥，或请密钥管理员解锁后再试。";

// Verifies the PIN with the key. A locked key shows the locked-key message, any other refusal the wrong-PIN
// message (caption "提示", information
// icon, owned by the active window) and leaves the remembered PIN as it was; the run must not start.
// On acceptance the PIN is remembered when the remember-password box is ticked and forgotten otherwise.
// True when the run may start.
bool AcceptPinForRun(std::u16string_view pin, bool rememberBoxTicked);

}  // namespace sealrun::seal
