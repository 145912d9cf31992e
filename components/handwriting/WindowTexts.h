#pragma once
// The writing window's texts in the language the caller chose with the component's Language prefix.
#include <string>
#include <string_view>

namespace sealrun::components::handwriting {

struct WindowTexts {
  std::u16string caption;
  std::u16string pinLabel;
  std::u16string clearLabel;
};

// "GBC_" simplified Chinese, "GBB_" traditional Chinese, "ENG_" English; any other prefix (or none)
// falls back to English, the one language every user of the window can be assumed to read.
WindowTexts TextsForLanguage(std::u16string_view prefix);

}  // namespace sealrun::components::handwriting
