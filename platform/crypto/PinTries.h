#pragma once
// The try counter of a software seal key, kept as a hardware key keeps its own. Wrong PINs in a row are
// counted in a small file of the key's folder (pin-tries: readable by its owner alone, replaced atomically,
// and read and written only under a lock on the folder, so processes checking PINs at the same time lose no
// count). After a few wrong PINs every check waits longer; after too many the key is locked and checks no
// PIN at all until it is unlocked with its unlock code. A right PIN clears the count.
//
// A wrong PIN is counted before it is checked, so a check that is cut short (the process killed while the
// key is derived) still counts; a key whose counter cannot be written checks nothing. Whoever can write
// the key folder can also remove the counter, and read the key's files to test PINs without it: the counter
// guards the key against guessing through its components, its file permissions guard the rest.
#include <chrono>
#include <filesystem>
#include <functional>

namespace sealrun::platform::crypto {

// What the key found for one PIN or unlock code.
enum class PinMatch {
  Right,
  Wrong,
  Unchecked,  // there was nothing to check it against (an empty PIN, a missing key file): not counted
};

// The answer of a check made under the counter.
enum class PinTryResult {
  Accepted,    // right: the count of wrong PINs is cleared
  Refused,     // wrong, and counted
  Unchecked,   // nothing was checked, and nothing counted
  Locked,      // too many wrong PINs (for an unlock code: too many wrong codes): nothing was checked
  NotCounted,  // the counter cannot be written, so nothing was checked
};

struct PinTryPolicy {
  int freeTries = 5;   // wrong PINs in a row before checks begin to wait
  int lockAfter = 10;  // wrong PINs in a row that lock the key
  std::chrono::seconds firstWait{1};  // the wait after freeTries wrong PINs; doubled for each one more
  std::chrono::seconds longestWait{60};
  int unlockTries = 10;  // wrong unlock codes in a row after which the key can no longer be unlocked
};

// Time as the counter sees it: the wall clock, since the count is shared by processes (tests give their own).
class PinTryClock {
 public:
  virtual ~PinTryClock() = default;
  virtual std::chrono::system_clock::time_point Now() = 0;
  virtual void Wait(std::chrono::milliseconds duration) = 0;
  static PinTryClock& System();
};

struct PinTryCount {
  int wrongPins = 0;
  int wrongUnlockCodes = 0;
  std::chrono::system_clock::time_point lastWrong{};  // when the last wrong PIN or code was counted
};

class PinTries {
 public:
  static constexpr char kFileName[] = "pin-tries";

  explicit PinTries(std::filesystem::path keyFolder, PinTryPolicy policy = {},
                    PinTryClock& clock = PinTryClock::System());

  // Checks a PIN: refused at once when the key is locked, after the wait that the wrong PINs before it ask
  // for otherwise. `check` runs with the folder locked.
  PinTryResult CheckPin(const std::function<PinMatch()>& check);
  // Checks an unlock code the same way, counting wrong codes apart from wrong PINs; a right code clears
  // both counts, which unlocks the key.
  PinTryResult CheckUnlockCode(const std::function<PinMatch()>& check);

  // The count as it stands. A counter file that cannot be read counts as a locked key.
  PinTryCount Count() const;
  bool Locked() const { return Count().wrongPins >= policy_.lockAfter; }
  // Wrong PINs the key still takes before it locks; 0 when it is locked.
  int TriesLeft() const;
  // The wait a check makes after this many wrong PINs (or codes) in a row.
  std::chrono::milliseconds WaitAfter(int wrongInARow) const;

  const std::filesystem::path& File() const { return file_; }

 private:
  enum class Counted { Pin, UnlockCode };
  PinTryResult Check(Counted counted, const std::function<PinMatch()>& check);

  std::filesystem::path folder_;
  std::filesystem::path file_;
  PinTryPolicy policy_;
  PinTryClock& clock_;
};

}  // namespace sealrun::platform::crypto
