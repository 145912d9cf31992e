// sealrun unlock-key: lifts the lock a seal key puts on itself after too many wrong PINs, with the key's
// unlock code. The code is read the way a PIN is, so it never has to stand on the command line.
#include <algorithm>
#include <cstdio>
#include <string>
#include <variant>
#include <vector>

#include "apps/sealrun/Commands.h"
#include "apps/common/Components.h"
#include "apps/sealrun/PinInput.h"
#include "platform/com/ComRuntime.h"
#include "platform/text/Utf.h"
#include "seal/AutomationObject.h"
#include "seal/AutomationValues.h"
#include "seal/ComponentIds.h"

namespace sealrun::apps {
namespace {

namespace com = platform::com;

// The key's answers to WebUnlockKey.
constexpr int32_t kUnlocked = 0;
constexpr int32_t kNoKey = 1;
constexpr int32_t kWrongCode = 2;
constexpr int32_t kCounterNotWritten = 4;
constexpr int32_t kTooManyWrongCodes = 6;
constexpr int32_t kNoUnlockCode = 7;
constexpr int32_t kPinOnToken = 8;

constexpr char kAdministratorUnlocks[] =
    "the key's administrator unlocks it by removing the file pin-tries from the key folder";

// COM for this thread while the command runs.
class ComApartment {
 public:
  ComApartment() : initialised_(com::SUCCEEDED(com::CoInitializeEx(nullptr, com::COINIT_APARTMENTTHREADED))) {}
  ~ComApartment() {
    if (initialised_) com::CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool initialised_;
};

int Answer(int32_t answer) {
  switch (answer) {
    case kUnlocked:
      std::puts("The seal key is unlocked: it checks PINs again.");
      return kExitDone;
    case kNoKey:
      return Refuse("no seal key is inserted");
    case kWrongCode:
      return Refuse("the unlock code is wrong; the key is as it was");
    case kCounterNotWritten:
      return Refuse("the key's try counter cannot be written, so no code was checked (is the key folder writable?)");
    case kTooManyWrongCodes:
      return Refuse("too many wrong unlock codes: the code no longer unlocks this key; " +
                    std::string(kAdministratorUnlocks));
    case kNoUnlockCode:
      return Refuse("this seal key has no unlock code; " + std::string(kAdministratorUnlocks));
    case kPinOnToken:
      return Refuse("this seal key's PIN is kept and counted by its token; the token's administrator unlocks it "
                    "with the token's own tools (its security officer PIN)");
    default:
      return Refuse("the seal key did not answer the unlock code");
  }
}

}  // namespace

int RunUnlockKey(const std::vector<std::string>& arguments) {
  PinOption code("code", "unlock code");
  for (size_t i = 0; i < arguments.size(); ++i) {
    std::string problem;
    if (code.Take(arguments, i, problem)) {
      if (!problem.empty()) return Refuse(problem);
      continue;
    }
    return Refuse("unlock-key takes no argument " + arguments[i] + " (see sealrun unlock-key --help)");
  }
  if (auto refusal = EnsureComponentRegistered(kKeyObjectProgId)) return Refuse(refusal->message);
  auto typed = code.Read("Unlock code of the seal key: ");
  if (auto* refusal = std::get_if<Refusal>(&typed)) return Refuse(refusal->message);
  std::u16string text = platform::text::Utf8ToUtf16(std::get<PinText>(typed).Utf8());

  const ComApartment apartment;
  const seal::AutomationObject key = seal::AutomationObject::Create(seal::kKeyObjectClsid);
  if (!key.IsValid()) return Refuse("the seal key component cannot be created");
  com::Variant answer(int32_t{-1});
  const com::HRESULT called = key.Call(u"WebUnlockKey", {com::Variant(text)}, answer);
  std::fill(text.begin(), text.end(), u'\0');
  if (com::FAILED(called)) return Refuse("the seal key component does not take an unlock code");
  return Answer(seal::NumberOf(answer).value_or(-1));
}

const char* UnlockKeyHelp() {
  return "usage: sealrun unlock-key [--code-file FILE | --code - | --code CODE]\n"
         "\n"
         "After ten wrong PINs in a row the seal key locks itself and refuses every PIN, the right one too\n"
         "(after five wrong PINs each further check already waits longer). The key's unlock code lifts the\n"
         "lock and clears the count; ten wrong unlock codes leave a key only its administrator can unlock,\n"
         "by removing the file pin-tries from the key folder.\n"
         "\n"
         "The code is read from the first line of FILE, from standard input (--code -), or typed at a prompt\n"
         "that does not show it. --code CODE can be read by other users of the machine while it runs.\n"
         "\n"
         "examples:\n"
         "  sealrun unlock-key\n"
         "  sealrun unlock-key --code-file ~/unlock-code.txt\n";
}

}  // namespace sealrun::apps
