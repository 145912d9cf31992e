#include "signing/SigningRun.h"

#include <chrono>

#include "platform/text/Utf.h"
#include "platform/ui/Backend.h"
#include "platform/ui/QuitRequest.h"
#include "seal/SealTrace.h"
#include "verify/BatchTexts.h"

namespace sealrun::signing {
namespace {

// With traces on, a user sees which file failed and why: "<path> not sealed: <reason>".
void TraceNotSealed(std::u16string_view path, const StampResult& result) {
  std::u16string text(path);
  text += u" not sealed: ";
  text += platform::text::Utf8ToUtf16(result.Reason());
  seal::SealTrace(text);
}

}  // namespace

SigningRunTally RunSigningBatch(std::span<const std::u16string> files, const StampFile& stamp,
                                const FileDone& afterEach) {
  SigningRunTally tally;
  tally.total = static_cast<int>(files.size());
  // A wall clock: the time the user waited, not the processor time the run used.
  const auto start = std::chrono::steady_clock::now();
  for (size_t i = 0; i < files.size(); ++i) {
    const int index = static_cast<int>(i);
    // Asked to stop: the files done so far are the run; the rest were never opened.
    if (platform::ui::QuitRequested()) {
      tally.total = index;
      tally.stopped = true;
      platform::ui::Notify(verify::StoppedRunText(index, static_cast<int>(files.size())));
      break;
    }
    const StampResult result = stamp(files[i]);
    if (!result) {
      tally.failed.push_back(index);
      TraceNotSealed(files[i], result);
    }
    if (afterEach) afterEach(index, result.Code());
  }
  tally.milliseconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  return tally;
}

StampFile MakeStamper(config::SealForm form, const StampInputs& inputs, std::u16string pin) {
  if (form == config::SealForm::SignatureField)
    return [&inputs, pin = std::move(pin)](std::u16string_view path) { return StampSignatureField(inputs, path, pin); };
  return [&inputs, pin = std::move(pin)](std::u16string_view path) { return StampSealAnnotation(inputs, path, pin); };
}

}  // namespace sealrun::signing
