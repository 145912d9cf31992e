#pragma once
// The SignatureMode setting ("OrtavexConfig.dll"): a text, read once into what it selects. Exactly "1"
// stamps signature fields; any other text (" 1", "01", "2", ...) stamps seal annotations. Separately, a
// seal's record carries its protection lines only under exactly "0", so the text is kept as written.
#include <string>
#include <string_view>

namespace sealrun::config {

// The two forms a seal takes in a document.
enum class SealForm { SealAnnotation, SignatureField };

// The text the setting has when the file does not name it.
inline constexpr std::u16string_view kSignatureModeWhenAbsent = u"0";

class SignatureMode {
 public:
  // The mode of a file that does not name it.
  SignatureMode() : SignatureMode(kSignatureModeWhenAbsent) {}
  explicit SignatureMode(std::u16string_view text);

  const std::u16string& Text() const { return text_; }
  SealForm Form() const { return form_; }
  bool StampsSignatureFields() const { return form_ == SealForm::SignatureField; }
  // "bProtectDoc", "bEffect" and "strMd5" in the record of every seal: only exactly "0" asks for them, so a
  // mode "2" stamps seal annotations whose records go without.
  bool ProtectsRecords() const { return protectsRecords_; }

  bool operator==(const SignatureMode& other) const { return text_ == other.text_; }

 private:
  std::u16string text_;
  SealForm form_;
  bool protectsRecords_;
};

}  // namespace sealrun::config
