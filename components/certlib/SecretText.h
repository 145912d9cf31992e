#pragma once
// A PIN held in memory: UTF-8 bytes wiped when replaced or destroyed, never copied.
#include <openssl/crypto.h>

#include <string>
#include <string_view>

namespace sealrun::components::certlib {

class SecretText {
 public:
  SecretText() = default;
  ~SecretText() { Wipe(); }
  SecretText(const SecretText&) = delete;
  SecretText& operator=(const SecretText&) = delete;

  // Copies (a move could leave the bytes in the source's small buffer) and wipes the source.
  void Assign(std::string& text) {
    Wipe();
    text_ = text;
    OPENSSL_cleanse(text.data(), text.size());
    text.clear();
  }
  void Wipe() {
    OPENSSL_cleanse(text_.data(), text_.size());
    text_.clear();
  }
  std::string_view View() const { return text_; }
  bool Empty() const { return text_.empty(); }

 private:
  std::string text_;
};

}  // namespace sealrun::components::certlib
